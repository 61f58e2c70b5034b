// Toolkit objects without a window: names, hit tests, change detection;
// widget message handling; and the file listing.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>

#include "support/toolkit_support.hpp"
#include "toolkit/file_listing.hpp"
#include "util/text.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

GUI_MESSAGE text(const char* t) {
    return GUI_MESSAGE::command(t, nullptr);
}
GUI_MESSAGE press() {
    return GUI_MESSAGE::mouse(SDL_MOUSEBUTTONDOWN, 1, nullptr);
}
GUI_MESSAGE release() {
    return GUI_MESSAGE::mouse(SDL_MOUSEBUTTONUP, 1, nullptr);
}

// Posts the messages and runs one update.
template <class W>
W& handle(W& w, std::initializer_list<GUI_MESSAGE> messages) {
    for (const GUI_MESSAGE& m : messages) w.post(m);
    w.update();
    return w;
}

} // namespace

TEST(SceneObjects, LongNamesAreCutAndMaskNamesBeginningWithZeroMeanNoMask) {
    const std::string long_name(85, 'N');
    EXPECT_EQ(std::string(TAM_ENGINE(long_name.c_str()).name), std::string(79, 'N'));
    SPRITE cut(long_name.c_str(), 0, 0, 0, 0, 0, 1.0f, 0, 255);
    EXPECT_EQ(std::string(cut.image), std::string(79, 'N'));
    EXPECT_FALSE(cut.has_mask());
    for (const char* mask : {"0", "0_ANYTHING", "KNOB_MASK"}) {
        cut.set_mask(mask);
        EXPECT_EQ(cut.has_mask(), mask[0] != '0') << mask;
    }
    cut.set_mask(std::string(300, 'M').c_str());
    EXPECT_EQ(std::string(cut.mask).size(), 79u);
}

TEST(SceneObjects, HitTestsIncludeEveryEdge) {
    IMAGE_BANK& bank = image_bank();
    bank.clear();
    bank.add_surface(solid(30, 40), "HIT_30x40");
    SPRITE s("HIT_30x40", 0, 0, 0, 0, 0, 2.0f, 0, 255);
    s.set_position(10.7f, 20.2f, 0);
    s.update();
    ASSERT_EQ(s.w, 30.0f);
    ASSERT_EQ(s.h, 40.0f);
    // Zoomed: x within [10, 10 + 60], y within [20, 20 + 80]; unzoomed [10, 40] x [20, 60].
    const struct {
        int x, y;
        bool zoomed, plain;
    } probes[] = {
        {10, 20, true, true},  {70, 100, true, false},  {71, 100, false, false},
        {9, 20, false, false}, {70, 101, false, false}, {40, 60, true, true},
        {41, 60, true, false}, {40, 61, true, false},
    };
    for (const auto& p : probes) {
        SCOPED_TRACE(testing::Message() << "probe " << p.x << "," << p.y);
        EXPECT_EQ(s.contains(p.x, p.y), p.zoomed);
        EXPECT_EQ(s.contains_point(p.x, p.y), p.plain);
        BASE as_object(static_cast<float>(p.x) + 0.9f, static_cast<float>(p.y) + 0.9f, 0);
        EXPECT_EQ(s.contains(as_object), p.zoomed); // probes are truncated too
    }
    RECTANGLE r(0, 0, 0, 10, 10, 0, nullptr);
    const struct {
        float x, y, w, h;
        bool overlaps;
    } others[] = {
        {10, 10, 5, 5, true},   // corners touch
        {11, 0, 5, 5, false},   // wholly right
        {-5, -5, 4, 4, false},  // wholly above and left
        {-5, -5, 5, 5, true},   // touches at the origin
        {2, 2, 3, 3, true},     // inside
        {0, 11, 10, 10, false}, // wholly below
    };
    for (const auto& o : others) {
        RECTANGLE q(o.x, o.y, 0, o.w, o.h, 0, nullptr);
        EXPECT_EQ(r.overlaps(q), o.overlaps) << o.x << "," << o.y;
        EXPECT_EQ(q.overlaps(r), o.overlaps) << o.x << "," << o.y;
    }
    bank.clear();
}

TEST(SceneObjects, UpdateNoticesChangesAndFollowsTheImageSize) {
    IMAGE_BANK& bank = image_bank();
    bank.clear();
    SPRITE s("LATE_IMAGE", 5, 6, 0, 0, 0, 1.0f, 0, 255);
    s.update();
    EXPECT_EQ(s.w, 0.0f); // not in the bank yet: size untouched
    s.redraw = s.changed = 0;
    s.update();
    EXPECT_EQ(s.redraw, 0); // nothing changed
    bank.add_surface(solid(48, 24), "LATE_IMAGE");
    s.update();
    EXPECT_EQ(s.w, 48.0f);
    EXPECT_EQ(s.h, 24.0f);
    s.update(); // the truncated copies catch up with the new size
    s.redraw = s.changed = 0;
    s.update();
    EXPECT_EQ(s.changed, 0);
    for (int field = 0; field < 4; ++field) {
        s.redraw = s.changed = 0;
        if (field == 0) s.angle += 10;
        if (field == 1) s.touched = !s.touched;
        if (field == 2) s.alpha -= 1;
        if (field == 3) s.x += 3;
        s.update();
        EXPECT_EQ(s.redraw, 1) << field;
        EXPECT_EQ(s.changed, 1) << field;
    }
    s.redraw = s.changed = 0;
    s.set_image("LATE_IMAGE");
    EXPECT_EQ(s.changed, 0); // same name: no change
    s.set_image("OTHER");
    EXPECT_EQ(s.changed, 1);
    EXPECT_EQ(s.redraw, 1);
    bank.clear();
    // Without a window a blit only reports the missing image.
    SPRITE nowhere("NOWHERE", 0, 0, 0, 0, 0, 1.0f, 0, 255);
    EXPECT_EQ(stdout_of([&] { nowhere.blit(); }), "[NOWHERE] blit image not found \n");
    EXPECT_EQ(nowhere.redraw, 0);
}

TEST(Widgets, ButtonDerivesItsMaskFromTheOffImage) {
    const struct {
        const char *off, *explicit_mask, *mask;
    } rows[] = {
        {"BTN_VCO_OFF", nullptr, "BTN_VCO_MASK"},
        {"BTN_SFX_DELAY_OFF", nullptr, "BTN_SFX_DELAY_MASK"},
        {"CHK_4_OFF", nullptr, "CHK_4_MASK"},
        {"PLAIN", nullptr, ""},    // no "_" at all
        {"_LEADING", nullptr, ""}, // "_" only as the first character
        {"BTN_VCO_OFF", "MY_MASK", "MY_MASK"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.off);
        BUTTON b("B", r.off, "0", "ON_IMAGE", r.explicit_mask);
        EXPECT_EQ(std::string(b.mask), r.mask);
        EXPECT_EQ(std::string(b.image), r.off); // shows the off image at first
        EXPECT_EQ(b.state, 0);
    }
}

TEST(Widgets, ButtonTogglesOnReleaseAndHighlightsWhileTouched) {
    BUTTON b("POWER", "P_OFF", "P_TOUCHED", "P_ON");
    EXPECT_EQ(handle(b, {press()}).pressed, 1);
    EXPECT_EQ(b.state, 0); // not on press
    handle(b, {release()});
    EXPECT_EQ(b.pressed, 0);
    EXPECT_EQ(b.state, 1);
    EXPECT_EQ(std::string(b.image), "P_ON");
    handle(b, {text("TOUCH_IN")});
    EXPECT_EQ(std::string(b.image), "P_TOUCHED"); // the highlight wins over the state
    handle(b, {text("TOUCH_OUT")});
    EXPECT_EQ(std::string(b.image), "P_ON");
    // A press and a release in one frame: a full click, one toggle.
    EXPECT_EQ(handle(b, {press(), release()}).state, 0);
    EXPECT_EQ(b.count(), 0);
    // Other events and texts are consumed without effect.
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    handle(b, {GUI_MESSAGE::input(motion, nullptr), text("SOMETHING_ELSE")});
    EXPECT_EQ(b.count(), 0);
    EXPECT_EQ(b.state, 0);
    EXPECT_EQ(b.touched, 0);
    // Without a highlight image a touched button shows its state.
    BUTTON plain("B", "X_OFF", "0", "X_ON");
    EXPECT_EQ(handle(plain, {text("TOUCH_IN")}).touched, 1);
    EXPECT_EQ(std::string(plain.image), "X_OFF");
    // A text longer than the message record is cut, never overflowed.
    EXPECT_EQ(std::string(GUI_MESSAGE::command(std::string(2000, 'T').c_str(), nullptr).text),
              std::string(639, 'T'));
}

TEST(Widgets, NewestMessageIsHandledFirst) {
    // TOUCH_IN then TOUCH_OUT posted in one frame: the newer TOUCH_OUT is handled
    // first, so the older TOUCH_IN decides.
    BUTTON b("B", "X_OFF", "X_TOUCHED", "X_ON");
    EXPECT_EQ(handle(b, {text("TOUCH_IN"), text("TOUCH_OUT")}).touched, 1);
    SLIDER s("S", "SLD2");
    EXPECT_EQ(handle(s, {text("TOUCH_OUT"), text("TOUCH_IN")}).touched, 0);
}

TEST(Widgets, SliderStepsOneDegreePerCommandWithoutBounds) {
    SLIDER s("FREQ", "SLD2");
    EXPECT_EQ(std::string(s.mask), "SLD2_MASK");
    EXPECT_EQ(std::string(s.image), "SLD2");
    EXPECT_EQ(handle(s, {text("SLD_DOWN"), text("SLD_DOWN"), text("SLD_DOWN")}).angle, 3);
    for (int i = 0; i < 5; ++i) s.post(text("SLD_UP"));
    EXPECT_EQ(handle(s, {}).angle, -2);
    s.angle = 360;
    EXPECT_EQ(handle(s, {text("SLD_DOWN")}).angle, 361);
    EXPECT_EQ(handle(s, {press()}).pressed, 1);
    EXPECT_EQ(handle(s, {release()}).pressed, 0);
    EXPECT_EQ(s.angle, 361); // events never turn the knob
    s.redraw = 0;
    EXPECT_EQ(handle(s, {text("SLD_DOWN")}).redraw, 1);
}

TEST(Widgets, LabelRulesForSizeFontPositionAndBox) {
    const struct {
        int font, size, expected_font, expected_size;
    } rows[] = {{3, 12, 3, 12}, {12, 30, 0, 10}, {-1, 24, 0, 10}, {9, 23, 9, 23}};
    for (const auto& r : rows) {
        LABEL l("X", 7, 100, 50, 50, r.font, r.size, 0xFFFFFF);
        EXPECT_EQ(l.font, r.expected_font);
        EXPECT_EQ(l.size, r.expected_size);
        EXPECT_EQ(l.x, 7.0f);
        EXPECT_EQ(l.y, 647.0f); // 747 - y: the text routine draws y upward
        EXPECT_EQ(l.text_transform, 1);
    }
    // The box is the text's, even with the placeholder image in the bank.
    image_bank().clear();
    image_bank().add_surface(solid(64, 64), "IMG_001");
    LABEL l("CPU_USAGE", 0, 0, 50, 50, 0, 14, 0x00FF00);
    l.update();
    EXPECT_EQ(l.w, 9 * 14 / 2);
    EXPECT_EQ(l.h, 14);
    l.update();
    EXPECT_EQ(l.w, 63.0f);
    l.redraw = 0;
    l.update();
    EXPECT_EQ(l.redraw, 0);
    l.set_caption("LONGER_CAPTION");
    l.update();
    EXPECT_EQ(l.redraw, 1);
    EXPECT_EQ(l.w, 14 * 14 / 2);
    l.redraw = 0;
    l.colour = 0xFF0000;
    l.update();
    EXPECT_EQ(l.redraw, 1);
    l.set_caption(std::string(5000, 'c').c_str()); // cut to the label's buffer
    EXPECT_EQ(std::string(l.caption).size(), 127u);
    image_bank().clear();
}

namespace {

struct Listing : testing::Test {
    std::string dir = scratch_dir();
    void SetUp() override {
        for (const char* f : {"b.tsy", "A.TSY", "c.txt", "noext", "sub/a.tsy", "Zeta/x.Tsy",
                              "Zeta/deeper/y.tsy", "sub.tsy/inside.tsy", "alpha/old.tsy.bak"}) {
            std::filesystem::create_directories(std::filesystem::path(dir + "/" + f).parent_path());
            write_text(dir + "/" + f, "x");
        }
        std::filesystem::create_directories(dir + "/empty");
    }
    std::vector<std::string> listed(const char* extension, const std::string& in = "") {
        std::vector<std::string> l;
        stdout_of([&] { l = list_files((dir + in).c_str(), extension); });
        return l;
    }
    // The next or previous file, or "null:" and what was left in the output.
    std::string step(const char* current, bool forward, const std::string& in = "") {
        char out[256] = "UNCHANGED";
        char* r = nullptr;
        stdout_of([&] {
            r = forward ? next_file(current, (dir + in).c_str(), "tsy", out, sizeof out)
                        : previous_file(current, (dir + in).c_str(), "tsy", out, sizeof out);
        });
        if (!r) return std::string("null:") + out;
        EXPECT_EQ(r, out);
        return r;
    }
};

} // namespace

TEST_F(Listing, FilesOfADirectoryComeBeforeItsSubdirectoriesByNameWithoutCase) {
    // A directory named sub.tsy is no file; its content is listed in its turn.
    const std::vector<std::string> expected = {dir + "/A.TSY",      dir + "/b.tsy",
                                               dir + "/sub/a.tsy",  dir + "/sub.tsy/inside.tsy",
                                               dir + "/Zeta/x.Tsy", dir + "/Zeta/deeper/y.tsy"};
    EXPECT_EQ(listed("tsy"), expected);
    EXPECT_EQ(listed("TSY"), expected); // the extension matches without case
    EXPECT_EQ(listed("txt"), std::vector<std::string>{dir + "/c.txt"});
    EXPECT_TRUE(listed("wav").empty());
    // A list of extensions (the sampler's formats): any of them.
    EXPECT_EQ(listed("wav,txt,nothing", "").size(), 1u);
    EXPECT_EQ(listed("txt,tsy").size(), expected.size() + 1);
    EXPECT_TRUE(listed("ts,sy,t").empty()) << "whole extensions only";
    EXPECT_EQ(stdout_of([&] { list_files((dir + "/sub").c_str(), "tsy"); }),
              "[[S[" + dir + "/sub/a.tsy]\n");
    // A link back up the tree is not followed.
    std::filesystem::create_directory_symlink(dir, dir + "/sub/loop");
    EXPECT_EQ(listed("tsy"), expected);
}

// Keypad + and - step through TSY/ with these: names that differ only in case
// and namesakes in subdirectories are files of their own, each visited once
// each way, and the ends wrap.
TEST_F(Listing, NextAndPreviousVisitEveryFileOnceEachWayAndWrap) {
    std::set<std::string> made;
    for (const char* f : {"EMPTY.tsy", "empty.tsy", "demo.tsy", "moog3.tsy", "sub/empty.tsy",
                          "sub/EMPTY.TSY", "sub/deeper/moog3.tsy"}) {
        const std::string path = dir + "/walk/" + f;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        write_text(path, "x");
        made.insert(path);
    }
    std::vector<std::string> forward, backward;
    for (bool ahead : {true, false}) {
        std::vector<std::string>& walk = ahead ? forward : backward;
        walk.push_back(step("", ahead, "/walk"));
        for (std::size_t i = 0; i < made.size(); ++i)
            walk.push_back(step(walk.back().c_str(), ahead, "/walk"));
        EXPECT_EQ(walk.front(), walk.back()) << "wrapped";
        walk.pop_back(); // as many steps as files: all of them means each once
        EXPECT_EQ(std::set<std::string>(walk.begin(), walk.end()), made);
    }
    EXPECT_EQ(backward, std::vector<std::string>(forward.rbegin(), forward.rend()));
    // The shown file by another path to it; a namesake outside the listing is not it.
    const std::string moog = dir + "/walk/moog3.tsy";
    const auto after = [&](const std::string& p) {
        return forward[(std::find(forward.begin(), forward.end(), p) - forward.begin() + 1) %
                       forward.size()];
    };
    EXPECT_EQ(step((dir + "/walk/sub/../moog3.tsy").c_str(), true, "/walk"), after(moog));
    EXPECT_EQ(step((dir + "/b.tsy").c_str(), true, "/walk"), "null:UNCHANGED");
    EXPECT_EQ(step("moog3.tsy", false, "/walk"), "null:UNCHANGED");
    // Empty and missing directories.
    EXPECT_EQ(step("", true, "/empty"), "null:UNCHANGED");
    EXPECT_EQ(step("", false, "/empty"), "null:UNCHANGED");
    std::vector<std::string> none;
    EXPECT_NE(
        stdout_of([&] { none = list_files((dir + "/missing").c_str(), "tsy"); }).find("Oula \n"),
        std::string::npos);
    EXPECT_TRUE(none.empty());
    // The output is cut to its buffer.
    char small[8] = {};
    stdout_of([&] { EXPECT_NE(next_file("", dir.c_str(), "tsy", small, sizeof small), nullptr); });
    EXPECT_EQ(std::string(small), (dir + "/A.TSY").substr(0, 7));
}

// The file arrows pass over the names a patch file cannot hold.
TEST_F(Listing, AFilterPassesOverTheNamesItRefuses) {
    for (const char* f : {"a b.tsy", "k=v.tsy", "ok.tsy", "x;y.tsy", "zz.tsy"})
        write_text(dir + "/empty/" + f, "x");
    const auto walk = [&](const char* from, bool up) {
        char out[256] = "";
        char* r = nullptr;
        stdout_of([&] {
            r = up ? next_file(from, (dir + "/empty").c_str(), "tsy", out, sizeof out, fits_patch)
                   : previous_file(from, (dir + "/empty").c_str(), "tsy", out, sizeof out,
                                   fits_patch);
        });
        return r ? std::string(r) : "null";
    };
    const std::string ok = dir + "/empty/ok.tsy", zz = dir + "/empty/zz.tsy";
    EXPECT_EQ(walk("", true), ok);
    EXPECT_EQ(walk(ok.c_str(), true), zz);
    EXPECT_EQ(walk(zz.c_str(), true), ok);
    EXPECT_EQ(walk(ok.c_str(), false), zz);
    EXPECT_EQ(walk("", false), zz);
    EXPECT_EQ(step("", true, "/empty"), dir + "/empty/a b.tsy") << "listed without the filter";
}

TEST(ListingNames, BaseNames) {
    for (const char* path : {"TSY/demo.tsy", "C:\\TSY\\demo.tsy", "line\ndemo.tsy", "demo.tsy"})
        EXPECT_EQ(base_name(path), "demo.tsy") << path;
    EXPECT_EQ(base_name("dir/"), "");
}
