// Panels and RC layout files without a window: reading, writing, lookups,
// display modes, hit tests, message routing, malformed layouts and cables.
#include <filesystem>
#include <gtest/gtest.h>

#include "support/toolkit_support.hpp"
#include "util/messages.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

// A face with a record of every kind. What saving it must write, worked out
// by hand from the record formats, is the golden file every_record_saved.RC.
const std::string full_layout = read_text(TM_TEST_DATA_DIR "/toolkit/every_record.RC");

struct Rc : testing::Test {
    std::string dir = scratch_dir();
    void SetUp() override { image_bank().clear(); }
    void TearDown() override { image_bank().clear(); }
    std::unique_ptr<OBJET> load(const std::string& text, const char* name = "12", int x = 0,
                                int y = 0, std::string* log = nullptr) {
        return panel_from(dir, text, name, x, y, log);
    }
    // The panel saved to a file of the scratch directory, or "refused".
    std::string saved(OBJET& p, std::string* printed = nullptr) {
        int status = 0;
        std::filesystem::remove(dir + "/saved.RC");
        const std::string out = stdout_of([&] { status = p.save_rc((dir + "/saved.RC").c_str()); });
        if (printed) *printed = out;
        return status == 1 ? read_text(dir + "/saved.RC") : "refused";
    }
};

template <class T>
T& as(const element_ptr& e) {
    T* t = dynamic_cast<T*>(e.get());
    EXPECT_NE(t, nullptr);
    return *t;
}

} // namespace

TEST_F(Rc, ReadsEveryRecordKindAndWriteReadWriteIsByteIdentical) {
    auto p = load(full_layout);
    EXPECT_EQ(p->colour, 255u);
    EXPECT_EQ(p->alpha, 128);
    EXPECT_EQ(p->width, 300.0f);
    EXPECT_EQ(p->height, 200.0f);
    EXPECT_EQ(p->w, 300.0f); // the background image is not in the bank: the face's size
    const element_list& e = *p->elements;
    ASSERT_EQ(e.size(), 7u);
    const SPRITE& led = *e[1];
    EXPECT_STREQ(led.name, "12_LED");
    EXPECT_STREQ(led.image, "LED_NUMERIC_1_3");
    EXPECT_FALSE(led.has_mask()); // mask word "0"
    EXPECT_EQ(led.x, 20.0f);
    EXPECT_EQ(led.y, 30.0f);
    EXPECT_EQ(led.is_key, 1);
    EXPECT_EQ(led.key, 0xFF00FFu);
    EXPECT_EQ(led.zoom, 2.5f);
    EXPECT_EQ(led.angle, 45);
    EXPECT_EQ(led.alpha, 255); // no alpha field
    const BUTTON& power = as<BUTTON>(e[2]);
    EXPECT_STREQ(power.name, "12_BUTTON_POWER");
    EXPECT_STREQ(power.image_off, "BTN_POWER_OFF");
    EXPECT_STREQ(power.image_on, "BTN_POWER_ON");
    EXPECT_STREQ(power.image_touched, "BTN_POWER_TOUCHED");
    EXPECT_STREQ(power.mask, "BTN_POWER_MASK");
    EXPECT_EQ(power.x, 40.0f);
    EXPECT_EQ(as<SLIDER>(e[3]).zoom, 1.0f); // above 100: replaced
    EXPECT_EQ(as<SLIDER>(e[3]).additive, 1);
    EXPECT_EQ(as<SLIDER>(e[3]).angle, 33);
    EXPECT_EQ(as<SLIDER>(e[4]).zoom, 100.0f); // 100 itself stays
    EXPECT_EQ(as<SLIDER>(e[4]).angle, -20);
    const LABEL& label = as<LABEL>(e[5]);
    EXPECT_STREQ(label.caption, "VCO MAIN"); // the file's "_" is a blank
    EXPECT_EQ(label.x, 80.0f);
    EXPECT_EQ(label.y, 90.0f);
    EXPECT_EQ(label.font, 2);
    EXPECT_EQ(label.size, 12);
    EXPECT_EQ(label.colour, 0xFFFF00u);
    EXPECT_STREQ(e[6]->mask, "JACK_IN_MASK");
    EXPECT_EQ(e[6]->alpha, 200);

    const std::string first = saved(*p);
    EXPECT_EQ(first, golden("every_record_saved.RC"));
    EXPECT_EQ(saved(*load(first)), first);
}

TEST_F(Rc, SavedFaceReadsBackWhereverThePanelStoodAndSavingNeedsAPanelPrefix) {
    // Sprites carry the panel position they were loaded at; widgets do not.
    auto p = load("SPRITE S IMG 0 5 6 0 0 0 1.0 0\nBUTTON B X_OFF X_ON 0 5 6 0 0 0 1.0 0\n", "7",
                  40, 30);
    EXPECT_EQ((*p->elements)[0]->x, 45.0f);
    EXPECT_EQ((*p->elements)[1]->x, 5.0f);
    const std::string text = saved(*p);
    EXPECT_NE(text.find("SPRITE\tS\tIMG\t0\t5\t6\t"), std::string::npos) << text;
    EXPECT_NE(text.find("BUTTON\tB\tX_OFF\tX_ON\t0\t5\t6\t"), std::string::npos) << text;

    // The panel's prefix is cut from each name: a name without "_" where the
    // prefix ends is refused, and nothing is written.
    std::string printed;
    EXPECT_EQ(saved(*load("SPRITE S IMG 0 1 2 0 0 0 1.0 0", "ABCDE"), &printed), "refused");
    EXPECT_EQ(printed, "ARF stf wrong during save element [ABCDE_S]\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/saved.RC"));
    auto q = load("SPRITE S IMG 0 1 2 0 0 0 1.0 0", "123"); // "_" fourth: 4 skipped
    EXPECT_NE(saved(*q).find("SPRITE\tS\tIMG\t"), std::string::npos);
    EXPECT_NE(stdout_of([&] {
                  EXPECT_EQ(q->save_rc((dir + "/no/dir/x.RC").c_str()), -1);
              }).find("Failing to Save RC["),
              std::string::npos);
}

TEST_F(Rc, UnknownWordsCostExactlyOneWord) {
    auto p = load("JUNK LABEL A CAP 1 2 3 4 5 MORE_JUNK 17 "
                  "SPRITE S IMG 0 1 2 0 0 0 1.0 0 LABEL B CAP2");
    ASSERT_EQ(p->elements->size(), 3u);
    EXPECT_STREQ((*p->elements)[0]->name, "12_A");
    EXPECT_STREQ((*p->elements)[1]->name, "12_S");
    EXPECT_EQ((*p->elements)[1]->alpha, 255); // the keyword after it was no alpha
    const LABEL& b = as<LABEL>((*p->elements)[2]);
    EXPECT_STREQ(b.caption, "CAP2");
    EXPECT_EQ(b.size, 0); // missing numbers are 0
    EXPECT_EQ(b.colour, 0u);
}

TEST_F(Rc, ThisRecordRules) {
    const struct {
        const char* text;
        std::uint32_t colour;
        int alpha;
        float width, height;
        bool complains;
    } rows[] = {
        {"THIS COLOR=255;WIDTH=300;HEIGHT=200;ALPHA=128;", 255, 128, 300, 200, false},
        {"THIS COLOR=255;ALPHA=128", 0, 0, 0, 0, false}, // one separator: ignored
        {"THIS COLOR=255;ALPHA=128;", 255, 128, 0, 0, false},
        {"THIS COLOR=1;;WIDTH=5;", 1, 0, 5, 0, true},        // empty item skipped
        {"THIS WIDTH=;HEIGHT=7;", 0, 0, 0, 7, false},        // no value: unchanged
        {"THIS COLOR=7;WIDTH=5;GARBAGE", 7, 0, 5, 0, false}, // last item lacks its ";"
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.text);
        std::string log;
        auto p = load(r.text, "12", 0, 0, &log);
        EXPECT_EQ(p->colour, r.colour);
        EXPECT_EQ(p->alpha, r.alpha);
        EXPECT_EQ(p->width, r.width);
        EXPECT_EQ(p->height, r.height);
        EXPECT_EQ(log.find("Erreur, au niveau des parametre ligne [1]\n") != std::string::npos,
                  r.complains)
            << log;
    }
}

TEST_F(Rc, IncompleteRecordsAreSkippedAndTheRestIsRead) {
    std::string log;
    // Each record stops at the first field that is not what it expects; that
    // word is then read as the next keyword.
    auto p = load("SPRITE S IMG 0 1 2 THIS COLOR=1;WIDTH=2;\nBUTTON B X_OFF X_ON X_T 1 2\n"
                  "SLIDER K SLD2 1 2 3\nLABEL L OK 1 2 0 10 255\n",
                  "12", 0, 0, &log);
    EXPECT_EQ(p->colour, 1u);
    EXPECT_EQ(p->width, 2.0f);
    ASSERT_EQ(p->elements->size(), 1u);
    EXPECT_STREQ((*p->elements)[0]->name, "12_L");
    for (const char* kind : {"(SPRITE)", "(BUTTON)", "(SLIDER)"})
        EXPECT_NE(log.find(std::string(kind) + ": missing or bad fields"), std::string::npos)
            << log;
}

TEST_F(Rc, MalformedLayoutsNeverBreakTheReader) {
    // Every prefix of a valid layout (records cut anywhere).
    const std::string valid = full_layout;
    for (std::size_t n = 0; n <= valid.size(); ++n)
        ASSERT_LE(load(valid.substr(0, n))->elements->size(), 7u);
    // Huge words, huge numbers, odd reals, binary garbage.
    static const char binary[] = "\0\x01\xff\xfe SPRITE \x80\x81 \0 1 2";
    const std::string cases[] = {
        "SPRITE " + std::string(100000, 'A') + " IMG 0 1 2 0 0 0 1.0 0",
        "LABEL L " + std::string(50000, 'c') + " 1 2 3 4 5",
        "SPRITE S IMG 0 99999999999 -99999999999 0 0 0 1e300 0",
        "SLIDER K SLD2 1 2 0 0 0 nan 5 SLIDER K2 SLD2 1 2 0 0 0 -inf 5",
        "THIS " + std::string(20000, ';'),
        std::string(binary, sizeof binary - 1),
        "BUTTON B A B C 1 2 3 4 5 6.5.5 7",
    };
    for (const std::string& text : cases) {
        const auto p = load(text);
        for (const element_ptr& e : *p->elements) {
            EXPECT_LE(std::string(e->name).size(), 79u);
            EXPECT_LE(std::string(e->image).size(), 79u);
        }
    }
    auto big = load(cases[1]);
    ASSERT_EQ(big->elements->size(), 1u);
    EXPECT_EQ(std::string(as<LABEL>((*big->elements)[0]).caption).size(), 127u); // cut to the label's buffer
}

TEST_F(Rc, PanelsOwnTheirElementsThroughTheTrackerAndAMissingFileKeepsThem) {
    const std::size_t before = tracked_count();
    {
        auto p = load(full_layout);
        EXPECT_EQ(tracked_count(), before + 1 + 7); // the panel and its seven elements
        p->set_display_mode(OBJET::back);
        p->load_rc((dir + "/layout.RC").c_str()); // the same layout on the back face too
        EXPECT_EQ(tracked_count(), before + 1 + 14);
        EXPECT_EQ(stdout_of([&] { EXPECT_EQ(p->load_rc((dir + "/absent.RC").c_str()), -1); }),
                  "Failing to Load RC[" + dir + "/absent.RC] (cause Fopen())\n");
        EXPECT_EQ(p->elements->size(), 7u);
    }
    EXPECT_EQ(tracked_count(), before);
}

TEST_F(Rc, LookupsStripTheShortPanelPrefixFindTheLastOfTwinsAndDepthCountsFromTheTop) {
    const char* layout = "SPRITE IMAGE_FOND F 0 0 0 0 0 0 1.0 0\n"
                         "BUTTON BUTTON_OCT_UP U_OFF U_ON 0 0 0 0 0 0 1.0 0\n"
                         "SPRITE OCT LED 0 0 0 0 0 0 1.0 0\n";
    auto two = load(layout, "12");
    EXPECT_NE(two->find_element("IMAGE_FOND"), nullptr);
    EXPECT_EQ(two->find_element("12_IMAGE_FOND"), nullptr);
    EXPECT_NE(two->find_button("BUTTON_OCT_UP"), nullptr);
    EXPECT_EQ(two->find_button("OCT"), nullptr); // not a button name
    auto one = load(layout, "1");
    EXPECT_NE(one->find_element("IMAGE_FOND"), nullptr);
    EXPECT_NE(one->find_button("BUTTON_OCT_UP"), nullptr);
    auto three = load(layout, "123");
    EXPECT_EQ(three->find_element("IMAGE_FOND"), nullptr); // prefixes of 3 are not stripped
    EXPECT_NE(three->find_element("123_IMAGE_FOND"), nullptr);

    auto p = load("SPRITE A X 0 0 0 0 0 0 1.0 0\nSPRITE A Y 0 0 0 0 0 0 1.0 0\n"
                  "SPRITE BACK_B Z 0 0 0 0 0 0 1.0 0\nSPRITE C W 0 0 0 0 0 0 1.0 0\n");
    EXPECT_STREQ(p->find_element("A")->image, "Y");
    const element_list& e = *p->elements;
    EXPECT_EQ(p->element_depth(e[3].get()), 0);
    EXPECT_EQ(p->element_depth(e[1].get()), 2);
    EXPECT_EQ(p->element_depth(e[0].get()), 3);
    EXPECT_EQ(p->element_depth(e[2].get()), 0); // "BACK" elements count as absent
    SPRITE stranger("S", 0, 0, 0, 0, 0, 1.0f, 0, 255);
    EXPECT_EQ(p->element_depth(&stranger), 0);
}

TEST_F(Rc, DisplayModesSwitchFacesAndSizes) {
    auto p = load("THIS COLOR=0;WIDTH=300;HEIGHT=200;ALPHA=255;");
    p->front_w = 300;
    p->front_h = 200;
    p->reduced_w = 100;
    p->reduced_h = 60;
    p->set_display_mode(OBJET::back);
    EXPECT_EQ(p->display_mode, 4);
    EXPECT_EQ(p->elements, &p->elements_back);
    EXPECT_EQ(p->w, 300.0f);
    p->set_display_mode(0); // from back: front, not reduced
    EXPECT_EQ(p->display_mode, 1);
    EXPECT_EQ(p->elements, &p->elements_front);
    p->set_display_mode(0);
    EXPECT_EQ(p->display_mode, 2);
    EXPECT_EQ(p->elements, &p->elements_reduced);
    EXPECT_EQ(p->w, 50.0f); // reduced: half of the reduced size
    EXPECT_EQ(p->h, 30.0f);
    p->set_display_mode(0);
    EXPECT_EQ(p->display_mode, 1);
    p->redraw = p->changed = 0;
    p->set_display_mode(3); // no such mode: only the refresh
    EXPECT_EQ(p->display_mode, 1);
    EXPECT_EQ(p->redraw, 1);
}

TEST_F(Rc, SizeComesFromTheBackgroundImageElseFromTheLayout) {
    const char* face = "THIS COLOR=0;WIDTH=300;HEIGHT=200;ALPHA=255;\n";
    image_bank().add_surface(solid(64, 64), "IMG_001"); // the placeholder does not count
    auto p = load(face);
    p->update();
    p->update();
    EXPECT_EQ(p->w, 300.0f);
    EXPECT_EQ(p->h, 200.0f);
    p->display_mode = OBJET::reduced;
    p->fit_to_background();
    EXPECT_EQ(p->w, 150.0f);
    EXPECT_EQ(p->h, 100.0f);

    image_bank().add_surface(solid(128, 64), "FOND_TEST");
    auto q = load(std::string(face) + "SPRITE IMAGE_FOND FOND_TEST 0 0 0 0 0 0 1.0 0\n");
    EXPECT_EQ(q->w, 128.0f);
    EXPECT_EQ(q->h, 64.0f);
    // A background image missing from the bank: said, and the layout's size used.
    std::string log;
    auto r = load("THIS COLOR=0;WIDTH=90;HEIGHT=80;ALPHA=255;\n"
                  "SPRITE IMAGE_FOND NOT_THERE 0 0 0 0 0 0 1.0 0\n",
                  "12", 0, 0, &log);
    EXPECT_NE(log.find("No image IMAGE_FOND valid\n"), std::string::npos);
    EXPECT_EQ(r->w, 90.0f);
}

TEST_F(Rc, ElementAtPointerTakesTheTopmostWithZoomAndEdges) {
    image_bank().add_surface(solid(20, 20), "SQ");
    auto p =
        load("BUTTON FIRST SQ SQ 0 10 10 0 0 0 1.0 0\nBUTTON SECOND SQ SQ 0 20 20 0 0 0 2.0 0\n",
             "12", 100, 50);
    for (const element_ptr& e : *p->elements) e->update();
    // FIRST covers [110, 130] x [60, 80]; SECOND (zoom 2) [120, 160] x [70, 110].
    const struct {
        int x, y;
        const char* hit;
    } probes[] = {{110, 60, "12_FIRST"},   {119, 69, "12_FIRST"}, {125, 75, "12_SECOND"},
                  {160, 110, "12_SECOND"}, {161, 110, "(none)"},  {109, 60, "(none)"}};
    for (const auto& q : probes) {
        pointer_x = q.x;
        pointer_y = q.y;
        SPRITE* e = p->element_at_pointer();
        EXPECT_STREQ(e ? e->name : "(none)", q.hit) << q.x << "," << q.y;
    }
    EXPECT_EQ((*p->elements)[0]->x, 10.0f); // elements are not left moved
}

TEST_F(Rc, UpdateRoutesMessagesToItsOwnWidgetsOnly) {
    auto p = load("BUTTON B X_OFF X_ON X_TOUCHED 0 0 0 0 0 1.0 0\nSLIDER K SLD2 0 0 0 0 0 1.0 0\n"
                  "SPRITE S IMG 0 0 0 0 0 0 1.0 0\nLABEL L CAP 0 0 0 10 0\n");
    auto* button = dynamic_cast<BUTTON*>(p->find_element("B"));
    auto* slider = dynamic_cast<SLIDER*>(p->find_element("K"));
    ASSERT_TRUE(button && slider);
    BUTTON stranger("X", "Y_OFF", "0", "Y_ON");
    for (SPRITE* target : {static_cast<SPRITE*>(button), p->find_element("S"),
                           static_cast<SPRITE*>(&stranger), p->find_element("L")})
        p->post(GUI_MESSAGE::command("TOUCH_IN", target));
    p->post(GUI_MESSAGE::command("SLD_DOWN", slider));
    p->post(GUI_MESSAGE::mouse(SDL_MOUSEBUTTONUP, 1, nullptr));
    SDL_Event user{};
    user.type = SDL_USEREVENT;
    p->post(GUI_MESSAGE::input(user, nullptr));
    const std::string log = stdout_of([&] { p->update(); });
    auto occurrences = [&log](const std::string& word) {
        int n = 0;
        for (auto at = log.find(word); at != std::string::npos; at = log.find(word, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(occurrences("ZZZ\n"), 1) << log;
    EXPECT_EQ(occurrences("Dynamic_Cast Failed \n"), 2) << log; // plain sprite, stranger
    EXPECT_EQ(p->touched, 1);
    EXPECT_TRUE(p->messages.empty());
    EXPECT_EQ(stranger.count(), 0);
    // The messages made the panel redraw, which runs the widgets' update: they
    // have consumed what was routed to them.
    EXPECT_EQ(button->count(), 0);
    EXPECT_EQ(slider->count(), 0);
    EXPECT_EQ(button->touched, 1);
    EXPECT_EQ(slider->angle, 1);
    p->update(); // no messages: no longer touched
    EXPECT_EQ(p->touched, 0);
}

TEST(Panels, VisibilityAndPointerSearchUseTheirRectangles) {
    OBJET a(0, 0, "1"), b(500, 0, "2");
    a.w = a.h = b.w = b.h = 100;
    std::vector<OBJET*> panels = {&a, &b};
    const struct {
        int x, y, index;
    } probes[] = {{550, 50, 1}, {700, 700, -1}, {100, 100, 0}, {101, 100, -1}};
    for (const auto& p : probes) {
        pointer_x = p.x;
        pointer_y = p.y;
        EXPECT_EQ(panel_at_pointer(panels), p.index) << p.x << "," << p.y;
    }
    b.zoom = 2.0f; // zoom widens the panel's hit area
    pointer_x = 690;
    pointer_y = 190;
    EXPECT_EQ(panel_at_pointer(panels), 1);
    // Visible: overlapping the view widened by one panel size on each side.
    OBJET far(2000, 0, "3"), near(1100, 0, "4"), above(0, -150, "5");
    far.w = far.h = near.w = near.h = above.w = above.h = 100;
    EXPECT_FALSE(panel_in_view(far, 0, 0));
    EXPECT_TRUE(panel_in_view(near, 0, 0));
    EXPECT_TRUE(panel_in_view(far, 900, 0));
    EXPECT_TRUE(panel_in_view(above, 0, 0));
    EXPECT_FALSE(panel_in_view(above, 0, 60));
}

TEST(Panels, APanelWithoutANameIsRefusedByItsEmptyName) {
    message_capture cap;
    OBJET nameless(0, 0, nullptr);
    EXPECT_STREQ(nameless.panel_name, "");
    EXPECT_EQ(cap.text(), "Cannot Create OBJET withouth a name\n");
}

TEST(Cables, EndsSitOnTheirPlugsAndPlugPicturesToggle) {
    OBJET a(100, 50, "1"), b(400, 300, "2");
    SPRITE wa("JACK", 10, 20, 0, 0, 0, 1.0f, 0, 255), wb("JACK", 0, 0, 0, 0, 0, 1.0f, 0, 255);
    wa.w = wa.h = 32;
    wb.w = 20;
    wb.h = 10;
    auto ends = [](const CABLE& c) { return std::vector<int>{c.x1, c.y1, c.x2, c.y2}; };
    CABLE both(&a, &b, &wa, &wb, 0xFF0000);
    EXPECT_EQ(ends(both), (std::vector<int>{100 + 10 + 16, 50 + 20 + 16, 400 + 10, 300 + 5}));
    EXPECT_EQ(both.colour, 0xFF0000u);
    CABLE loose_start(nullptr, &b, nullptr, &wb, 0xFF00FF); // a cable being started
    EXPECT_EQ(ends(loose_start), (std::vector<int>{410, 305, 410, 305}));
    CABLE loose_end(&a, nullptr, &wa, nullptr, 0xFFFFFF); // 40 right of and below its start
    EXPECT_EQ(ends(loose_end), (std::vector<int>{126, 86, 126 + 40, 86 + 40}));
    EXPECT_EQ(ends(CABLE(nullptr, nullptr, nullptr, nullptr, 0x0000FF)), std::vector<int>(4, 0));

    SPRITE& plug = both.start_plug;
    EXPECT_STREQ(plug.image, "FICHE_PLUG");
    EXPECT_STREQ(plug.mask, "FICHE_PLUG_MASK");
    EXPECT_EQ(plug.is_key, 1);
    EXPECT_EQ(plug.key, 0xFF00FFu);
    both.toggle_start_plug(0, 0);
    EXPECT_STREQ(plug.image, "FICHE_UNPLUG");
    EXPECT_STREQ(plug.mask, "FICHE_UNPLUG_MASK");
    both.toggle_start_plug(0, 0);
    EXPECT_STREQ(plug.image, "FICHE_PLUG"); // twice: back where it was
    both.toggle_start_plug(1, 0);
    EXPECT_STREQ(plug.image, "FICHE_PLUG"); // forced after the toggle
    both.toggle_end_plug(0, 1);
    EXPECT_STREQ(both.end_plug.image, "FICHE_UNPLUG");
    both.toggle_end_plug(1, 1);
    EXPECT_STREQ(both.end_plug.mask, "FICHE_UNPLUG_MASK"); // unplug is applied last

    // Control points: the middle one sags by the sum of the ends' heights.
    view_scroll_x = 10;
    view_scroll_y = 20;
    const cable_curve c = cable_control_points(101, 300, 200, 250);
    view_scroll_x = view_scroll_y = 0;
    EXPECT_EQ(c.points[0][0], 91.0f);
    EXPECT_EQ(c.points[0][1], 295.0f);
    EXPECT_EQ(c.points[1][0], 140.0f); // (101 + 200) / 2 in integers, less the scroll
    EXPECT_EQ(c.points[1][1], 545.0f); // 300 + 250 + 15 - 20
    EXPECT_EQ(c.points[2][0], 190.0f);
    EXPECT_EQ(c.points[2][1], 245.0f);
    EXPECT_EQ(c.points[1][2], 0.0f);
}
