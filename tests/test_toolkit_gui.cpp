// The toolkit in a real window (Xvfb, Mesa) with the shipped bundle and fonts:
// frames are drawn, read back and checked by their properties; a showcase of
// the art is saved as build/toolkit_showcase.png.
#include "support/toolkit_support.hpp"

#include <GL/gl.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <unistd.h>

using namespace tmod;
using namespace tmod::test;

namespace {

constexpr int screen_w = 1024, screen_h = 768;
const std::string layouts = TM_TEST_DATA_DIR "/toolkit/";

rgb at(const rgb_image& img, int x, int y) {
    rgb c{};
    img.at(x, y, c.r, c.g, c.b);
    return c;
}
int brightness(const rgb& c) {
    return std::max({c.r, c.g, c.b});
}

using pick = std::function<bool(const rgb&)>;

// The pixels of the box [x0, x1) x [y0, y1) that `p` picks.
int count(const rgb_image& img, int x0, int y0, int x1, int y1, const pick& p) {
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += p(at(img, x, y));
    return n;
}
// The first and last index picked along a row (dy = 0) or a column.
std::pair<int, int> extent(const rgb_image& img, int fixed, bool row, const pick& p) {
    int first = -1, last = -1;
    for (int i = 0; i < (row ? screen_w : screen_h); ++i)
        if (p(row ? at(img, i, fixed) : at(img, fixed, i))) last = i, first = first < 0 ? i : first;
    return {first, last};
}

class gui : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string cwd = std::filesystem::current_path().string();
        ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0); // the bundle and font list name data paths
        init_video(screen_w, screen_h, "T_Modular toolkit", "grfx/opengl.tim");
        font_table().load_font_list("Fonts/Fonts.FNTS");
        ASSERT_EQ(chdir(cwd.c_str()), 0);
        image_bank().add_surface(solid(64, 64, 255, 0, 0), "TEST_RED");
        image_bank().add_surface(solid(64, 32, 0, 0, 255), "TEST_BLUE");
    }
    static void TearDownTestSuite() {
        font_table().release_all();
        close_video();
    }
    void SetUp() override {
        view_scroll_x = view_scroll_y = 0;
        push_ortho(0, 0, screen_w, screen_h);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    void TearDown() override { pop_ortho(); }
    rgb_image frame() { return read_frame(screen_w, screen_h); }

    // A panel as the editor builds one: at (0, 0), its layout read, then moved.
    static std::unique_ptr<OBJET> panel(const char* name, const std::string& layout, int x, int y) {
        auto p = std::make_unique<OBJET>(0, 0, name);
        EXPECT_EQ(stdout_of([&] { EXPECT_EQ(p->load_rc((layouts + layout).c_str()), 1); }), "")
            << layout;
        p->set_position(static_cast<float>(x), static_cast<float>(y), 0);
        return p;
    }
    static void blit(const char* image, int x, int y, int alpha = 255, float zoom = 1.0f) {
        SPRITE(image, x, y, 0, 0, 0, zoom, 0, alpha).blit();
    }
};

const pick pure_red = [](const rgb& c) { return c == rgb{255, 0, 0}; };

} // namespace

TEST_F(gui, FontTexturesStayOutOfTheBankRangeAndSmallImagesHaveNoMipmaps) {
    ASSERT_EQ(font_table().count, 4);
    for (int f = 0; f < font_table().count; ++f) {
        const FONT& font = font_table().get(f, 12);
        ASSERT_TRUE(font.loaded());
        for (int c = 0; c < FONT::glyph_count; ++c)
            ASSERT_GE(font.textures[c], static_cast<GLuint>(IMAGE_BANK::capacity))
                << "font " << f << " glyph " << c;
    }
    // Widths of mipmap level 1: 0 for a direct upload.
    for (auto [name, level1] : {std::pair{"IMG_001", 0},  // 64 x 64: direct
                                {"DISP_SIN", 0},          // 128 x 64: direct
                                {"SLD2", 16},             // 32 x 32: mipmaps
                                {"FOND_ELECTRO", 256}}) { // 512 x 512: mipmaps
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(image_bank().find(name)));
        GLint w = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &w);
        EXPECT_EQ(w, level1) << name;
    }
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(gui, QuadCoversItsZoomedSizeInTrueColoursAndTheViewScrollMovesIt) {
    blit("TEST_RED", 200, 100, 255, 1.5f);
    blit("TEST_BLUE", 600, 400);
    rgb_image img = frame();
    // Centre (x + w/2, y + h/2 + 15), half extents w/2 * zoom and h/2 * zoom.
    const int cx = 200 + 32, cy = 100 + 32 + 15, half = 48;
    EXPECT_EQ(count(img, 0, cy, screen_w, cy + 1, pure_red), 2 * half);
    EXPECT_EQ(extent(img, cy, true, pure_red), std::pair(cx - half, cx + half - 1));
    EXPECT_EQ(count(img, cx, 0, cx + 1, screen_h, pure_red), 2 * half);
    EXPECT_EQ(extent(img, cx, false, pure_red).first, cy - half);
    // 64 x 32 at zoom 1: exactly its own size, blue where blue belongs.
    EXPECT_EQ(at(img, 600 + 32, 400 + 16 + 15), (rgb{0, 0, 255}));
    EXPECT_EQ(count(img, 580, 380, 700, 470, [](const rgb& c) { return c.b == 255; }), 64 * 32);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    view_scroll_x = 100;
    view_scroll_y = 50;
    blit("TEST_RED", 400, 300);
    fill_rect(600, 300, 10, 10, 0xFF00FF00);
    view_scroll_x = view_scroll_y = 0;
    img = frame();
    // World (400, 300) is screen (300, 250); quads sit 15 lower, rectangles 13.
    EXPECT_EQ(extent(img, 265, true, pure_red), std::pair(300, 363));
    EXPECT_EQ(extent(img, 300, false, pure_red), std::pair(265, 328));
    const pick green = [](const rgb& c) { return c.g == 255; };
    EXPECT_EQ(extent(img, 263, true, green), std::pair(500, 509));
    EXPECT_EQ(extent(img, 500, false, green), std::pair(263, 272));
}

TEST_F(gui, BlendModesComposeAsTheirFormulas) {
    const rgb bg{0x20, 0x50, 0xA0};
    fill_rect(0, 0, screen_w, screen_h, 0xFF2050A0);
    const struct {
        int x, additive, subtractive, alpha;
    } modes[] = {{100, 0, 0, 128}, {300, 1, 0, 255}, {500, 0, 1, 255}};
    for (const auto& m : modes) {
        SPRITE s("TEST_RED", m.x, 300, 0, 0, 0, 1.0f, 0, m.alpha);
        s.additive = m.additive;
        s.subtractive = m.subtractive;
        s.blit();
    }
    const rgb_image img = frame();
    const double a = 128 / 255.0;
    const struct {
        int x;
        double r, g, b;
    } expected[] = {
        {132, 255 * a + bg.r * (1 - a), bg.g * (1 - a), bg.b * (1 - a)}, // src a + dst (1 - a)
        {332, 255, double(bg.g), double(bg.b)}, // additive: src * src + dst * (1 - src)
        {532, double(bg.r), 0, 0},              // subtractive: src * dst
    };
    for (const auto& e : expected) {
        const rgb c = at(img, e.x, 300 + 32 + 15);
        EXPECT_NEAR(c.r, e.r, 3) << e.x;
        EXPECT_NEAR(c.g, e.g, 3) << e.x;
        EXPECT_NEAR(c.b, e.b, 3) << e.x;
    }
    // Blending and depth testing are left as they were afterwards.
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(gui, MaskedAreasShowTheBackground) {
    fill_rect(0, 0, screen_w, screen_h, 0xFF2050A0);
    SPRITE jack("JACK_IN_SIGNAL", 300, 200, 0, 0, 0, 1.0f, 0, 0);
    jack.set_mask("JACK_IN_MASK");
    jack.update();
    jack.blit();
    blit("JACK_IN_SIGNAL", 400, 200); // the same picture without its mask
    const rgb_image img = frame();
    const int top = 200 + 15;
    // The corners of a round socket are transparent: the background, exactly.
    for (auto [dx, dy] : {std::pair{1, 1}, {30, 1}, {1, 30}, {30, 30}})
        EXPECT_EQ(at(img, 300 + dx, top + dy), (rgb{0x20, 0x50, 0xA0})) << dx << "," << dy;
    EXPECT_LT(brightness(at(img, 316, top + 16)), 40); // the hole
    EXPECT_GT(at(img, 316 + 8, top + 16).r, 170);      // the white ring of a signal input
    EXPECT_GT(at(img, 316 + 8, top + 16).b, 170);
    EXPECT_LT(brightness(at(img, 401, top + 1)), 10) << "unmasked: black, not transparent";
}

TEST_F(gui, KnobPointsWhereItsAngleSaysAndButtonsShowEachState) {
    fill_rect(0, 0, screen_w, screen_h, 0xFF303030);
    // Clockwise on screen with the angle; the pointer reaches 20 pixels out.
    const struct {
        int angle, dx, dy;
    } poses[] = {{0, 0, -20}, {90, 20, 0}, {180, 0, 20}, {270, -20, 0}};
    for (int i = 0; i < 4; ++i) {
        SLIDER knob("K", "SLD1");
        knob.angle = poses[i].angle;
        knob.set_position(static_cast<float>(60 + 100 * i), 300, 0);
        knob.update();
        knob.blit();
    }
    BUTTON off("OFF", "BTN_POWER_OFF", "BTN_POWER_TOUCHED", "BTN_POWER_ON");
    BUTTON on("ON", "BTN_POWER_OFF", "BTN_POWER_TOUCHED", "BTN_POWER_ON");
    BUTTON touched("TOUCHED", "BTN_POWER_OFF", "BTN_POWER_TOUCHED", "BTN_POWER_ON");
    on.post(GUI_MESSAGE::mouse(SDL_MOUSEBUTTONDOWN, 1, &on));
    on.post(GUI_MESSAGE::mouse(SDL_MOUSEBUTTONUP, 1, &on));
    touched.post(GUI_MESSAGE::command("TOUCH_IN", &touched));
    int x = 100;
    for (BUTTON* b : {&off, &on, &touched}) {
        b->update();
        b->set_position(static_cast<float>(x), 100, 0);
        b->update();
        b->blit();
        x += 50;
    }
    ASSERT_EQ(on.state, 1);
    const rgb_image img = frame();
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(poses[i].angle);
        const int cx = 60 + 100 * i + 32, cy = 300 + 32 + 15;
        for (const auto& other : poses) {
            const int b = brightness(at(img, cx + other.dx, cy + other.dy));
            if (other.angle == poses[i].angle)
                EXPECT_GT(b, 200);
            else
                EXPECT_LT(b, 120);
        }
        EXPECT_EQ(at(img, 60 + 100 * i + 1, 300 + 15 + 1).r, 0x30); // masked corner
    }
    const pick lit_red = [](const rgb& c) { return c.r > 200 && c.g < 120 && c.b < 110; };
    const pick accent = [](const rgb& c) {
        return c.r > 190 && c.g > 100 && c.g < 175 && c.b < 90;
    };
    EXPECT_EQ(count(img, 100, 115, 132, 147, lit_red), 0);
    EXPECT_GT(count(img, 150, 115, 182, 147, lit_red), 15); // the lit power sign
    EXPECT_EQ(count(img, 100, 115, 132, 147, accent), 0);
    EXPECT_GT(count(img, 200, 115, 232, 147, accent), 15); // the hover ring
}

TEST_F(gui, LabelsDrawTheirColourWhereTheyStand) {
    auto p = std::make_unique<OBJET>(0, 0, "20");
    const std::string dir = scratch_dir();
    write_text(dir + "/label.RC", "THIS COLOR=0;WIDTH=300;HEIGHT=100;ALPHA=255;\n"
                                  "LABEL LEVEL LEVEL_A 10 20 0 16 65280\n"
                                  "LABEL OTHER_FONT B 200 20 7 16 16711680\n");
    ASSERT_EQ(p->load_rc((dir + "/label.RC").c_str()), 1);
    p->set_position(100, 400, 0);
    p->draw(0, 1);
    const rgb_image img = frame();
    // Baseline 21 pixels below the label's y, text scaled by size / 36.
    const int baseline = 21 + 20 + 400, left = 110;
    const pick green = [](const rgb& c) { return c.g > 120 && c.r < 80 && c.b < 80; };
    const int inside = count(img, left - 2, baseline - 20, left + 81, baseline + 4, green);
    EXPECT_GT(inside, 30);
    EXPECT_EQ(count(img, 0, 0, screen_w, screen_h, green), inside) << "green outside the label";
    // A font number the list did not fill draws with font 0.
    EXPECT_GT(
        count(img, 298, baseline - 20, 320, baseline + 4, [](const rgb& c) { return c.r > 120; }),
        5);
}

TEST_F(gui, PrintBreaksLinesOneSpacingApartAndCutsLongTexts) {
    glColor3ub(255, 255, 255);
    print(font_table().get(0, 32), 100, 400, "A\nB");
    print(font_table().get(0, 32), 400, 400, "A\n");
    const rgb_image img = frame();
    auto ink_rows = [&img](int x0, int x1) {
        std::vector<int> rows;
        for (int y = 0; y < screen_h; ++y)
            if (count(img, x0, y, x1, y + 1, [](const rgb& c) { return brightness(c) > 128; }))
                rows.push_back(y);
        return rows;
    };
    // Glyphs are 32 points at 96 dpi: capitals about 31 pixels tall.
    const int line1 = screen_h - 400, line2 = static_cast<int>(screen_h - 400 + 32.0 / 0.63);
    int in1 = 0, in2 = 0, between = 0;
    for (int y : ink_rows(95, 140)) {
        if (y >= line1 - 40 && y <= line1 + 1)
            ++in1;
        else if (y >= line2 - 40 && y <= line2 + 1)
            ++in2;
        else
            ++between;
    }
    EXPECT_GT(in1, 15);
    EXPECT_GT(in2, 15);
    EXPECT_EQ(between, 0);
    for (int y : ink_rows(395, 440)) EXPECT_LE(y, line1 + 1); // "A\n": one line of ink

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const std::string long_text(1000, 'W');
    print(font_table().get(1, 32), 0, 100, "%s|%s", long_text.c_str(), long_text.c_str());
    print(font_table().get(9, 32), 0, 100, "a font slot the list left empty draws nothing");
    LABEL huge(std::string(5000, 'x').c_str(), 0, 0, 0, 0, 1, 12, 0xFFFFFF);
    huge.set_position(0, 300, 0);
    huge.draw_text();
    const rgb_image cut = frame();
    int lit = 0;
    for (int x = 0; x < screen_w; x += 4) lit += brightness(at(cut, x, screen_h - 110)) > 100;
    EXPECT_GT(lit, 50); // the first line of W's crosses the screen
}

TEST_F(gui, ProjectionsAreThePerspectiveAndThePixelFrame) {
    auto matrix = [](GLenum which) {
        std::vector<GLfloat> m(16);
        glGetFloatv(which, m.data());
        return m;
    };
    auto viewport = [] {
        GLint v[4];
        glGetIntegerv(GL_VIEWPORT, v);
        return std::pair(v[2], v[3]);
    };
    pop_ortho(); // the fixture's frame bracket, put back below
    set_perspective(800, 600, 1);
    EXPECT_EQ(viewport(), std::pair(800, 600));
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    const double f = 1.0 / std::tan(22.5 * M_PI / 180.0); // 45 degrees of field
    std::vector<GLfloat> p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[0], f / (800.0 / 600.0), 1e-5);
    EXPECT_NEAR(p[5], f, 1e-5);
    EXPECT_NEAR(p[10], -(100.0 + 0.1) / (100.0 - 0.1), 1e-5);
    EXPECT_NEAR(p[11], -1.0, 1e-6);
    set_perspective(screen_w, 0, 0); // height 0 counts as 1; projection left as identity
    p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_EQ(p[0], 1.0f);
    EXPECT_EQ(p[11], 0.0f);
    EXPECT_EQ(viewport().second, 1);
    set_perspective(screen_w, screen_h, 1);
    push_ortho(0, 0, screen_w, screen_h);
    p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[0], 2.0 / screen_w, 1e-7);
    EXPECT_NEAR(p[5], -2.0 / screen_h, 1e-7); // y downward
    EXPECT_NEAR(p[13], 1.0, 1e-6);            // the top row maps to the top of the window
    pop_ortho();
    EXPECT_NEAR(matrix(GL_PROJECTION_MATRIX)[5], f, 1e-5); // the perspective is back
    push_ortho(0, 0, screen_w, screen_h);
}

TEST_F(gui, CableSagsToItsComputedPeak) {
    draw_curve(100, 300, 300, 300, 0xFFFFFF);
    const rgb_image img = frame();
    // Quadratic Bezier at t = 1/2: (P0 + 2 P1 + P2) / 4 with P1.y = y1 + y2, all
    // 15 pixels lower.
    const double peak = (315 + 2 * (600 + 15) + 315) / 4.0;
    int brightest = -1, best = 0, outer = 0;
    for (int y = 0; y < screen_h; ++y) {
        const int b = brightness(at(img, 200, y));
        if (b > best) best = b, brightest = y;
        if (b > 30) {
            EXPECT_NEAR(y, peak, 5.0) << "ink far from the curve";
        }
        outer += b > 100 && b < 180 && std::abs(y - static_cast<int>(peak)) <= 6;
    }
    EXPECT_GE(best, 240); // the centre lines keep the full colour
    EXPECT_NEAR(brightest, peak, 2.0);
    EXPECT_GE(outer, 1) << "the outer lines are darker: 9/16 of the colour";
}

TEST_F(gui, ShowcaseLayoutsAreCompleteAndDrawAsAnInstrument) {
    // The background, then the panels, then the cables: an edit-mode frame.
    SPRITE tile("FOND_ELECTRO", 0, 0, 0, 0, 0, 1.0f, 0, 255);
    tile.update();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 2; ++j) {
            tile.set_position(tile.w * i, tile.h * j - 15, 0);
            tile.blit();
        }
    auto vco = panel("10", "vco.RC", 16, 28);
    auto mixer = panel("11", "mixer.RC", 544, 28);
    auto vcf = panel("12", "vcf_back.RC", 816, 28);
    auto modules = panel("13", "palette.RC", 16, 306);
    auto filter = panel("14", "filter.RC", 544, 306);
    auto keys = panel("15", "keyboard.RC", 816, 306);
    auto seq = panel("16", "sequencer.RC", 16, 450);
    auto out = panel("17", "output.RC", 544, 450);
    auto delay = panel("18", "delay.RC", 816, 450);
    std::vector<OBJET*> panels = {vco.get(),  mixer.get(), vcf.get(), modules.get(), filter.get(),
                                  keys.get(), seq.get(),   out.get(), delay.get()};
    // Every element of the layouts names a picture of the bundle.
    for (OBJET* p : panels)
        for (const element_ptr& e : *p->elements)
            if (!dynamic_cast<LABEL*>(e.get())) {
                EXPECT_GE(image_bank().find(e->image), 0) << e->name;
            }

    // Widgets in a few states, as the event passes would leave them.
    auto click = [](OBJET& p, const std::string& name) {
        auto* b = dynamic_cast<BUTTON*>(p.find_element(name.c_str()));
        ASSERT_NE(b, nullptr) << name;
        b->post(GUI_MESSAGE::mouse(SDL_MOUSEBUTTONUP, 1, b));
    };
    auto hover = [](OBJET& p, const char* name) {
        SPRITE* e = p.find_element(name);
        ASSERT_NE(e, nullptr) << name;
        dynamic_cast<MSG_RESPONDER*>(e)->post(GUI_MESSAGE::command("TOUCH_IN", e));
    };
    for (const char* b : {"POWER", "FILTER_TOGGLE", "ENV_TOGGLE"}) click(*vco, b);
    hover(*vco, "DIST_TOGGLE");
    click(*mixer, "BYPASS_CANAL_2");
    click(*modules, "BUTTON_VCO");
    hover(*modules, "BUTTON_VCF");
    click(*keys, "POWER");
    hover(*keys, "BUTTON_OCT_UP");
    click(*seq, "BUTTON_PATTERN_2");
    for (int step : {1, 4, 5, 9, 13}) click(*seq, "BUTTON_ACCENT_" + std::to_string(step));
    hover(*filter, "BYPASS");
    click(*out, "POWER");
    draw_visible_panels(panels, 0, 0, 1);

    std::vector<std::unique_ptr<CABLE>> cables;
    auto cable = [&](OBJET& a, const char* in, OBJET& b, const char* out, std::uint32_t c) {
        cables.push_back(
            std::make_unique<CABLE>(&a, &b, a.find_element(in), b.find_element(out), c));
    };
    cable(*vcf, "INPUT", *vco, "OUTPUT", 0xFFFFFF);
    cable(*mixer, "INPUT_1", *vcf, "OUTPUT", 0xFFFFFF);
    cable(*vco, "INPUT_GATE", *keys, "OUTPUT_GATE", 0xFF0000);
    cable(*vco, "INPUT_SYNC", *keys, "OUTPUT_SYNC", 0x0000FF);
    cable(*vco, "INPUT", *keys, "OUTPUT", 0xFFFFFF);
    cable(*delay, "INPUT", *mixer, "OUTPUT", 0xFFFFFF);
    // A cable being drawn: its loose end follows the pointer.
    cables.push_back(std::make_unique<CABLE>(nullptr, keys.get(), nullptr,
                                             keys->find_element("OUTPUT"), 0xFF00FF));
    cables.back()->x1 = 984;
    cables.back()->y1 = 300;
    cables.back()->toggle_start_plug(0, 1);
    for (auto& c : cables) c->draw_cable();
    SPRITE logo("LOGO_TMODULAR", 24, 640, 0, 0, 0, 1.0f, 0, 255);
    logo.set_mask("LOGO_TMODULAR_MASK");
    logo.blit();

    const rgb_image img = frame();
    std::filesystem::create_directories(TM_BINARY_DIR);
    ASSERT_TRUE(write_png(TM_BINARY_DIR "/toolkit_showcase.png", img));
    std::set<int> colours;
    for (int y = 0; y < screen_h; y += 3)
        for (int x = 0; x < screen_w; x += 3) {
            const rgb c = at(img, x, y);
            colours.insert((c.r << 16) | (c.g << 8) | c.b);
        }
    EXPECT_GT(colours.size(), 2000u);
    EXPECT_STREQ(cables.back()->start_plug.image, "FICHE_UNPLUG") << "the loose end: unplugged";
}
