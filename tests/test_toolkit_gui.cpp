// The toolkit in a real window (Xvfb, Mesa): the shipped bundle and fonts are
// loaded, things are drawn, and the frame is read back and checked by its
// properties. Ends by drawing a showcase of the art and saving it as
// build/toolkit_showcase.png.
#include "support/harness.hpp"
#include "toolkit/tam_lib.hpp"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>

using namespace tmod;

namespace {

constexpr int screen_w = 1024, screen_h = 768;
const std::string layouts = TM_TEST_DATA_DIR "/toolkit/";

struct colour {
    int r, g, b;
};

colour at(const rgb_image& img, int x, int y) {
    colour c{};
    img.at(x, y, c.r, c.g, c.b);
    return c;
}

int brightness(const colour& c) {
    return std::max({c.r, c.g, c.b});
}

class gui : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const std::string cwd = std::filesystem::current_path().string();
        ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0); // the bundle and font list name data paths
        init_video(screen_w, screen_h, "T_Modular toolkit", "grfx/opengl.tim");
        font_table().load_font_list("Fonts/Fonts.FNTS");
        ASSERT_EQ(chdir(cwd.c_str()), 0);
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
        EXPECT_EQ(p->load_rc((layouts + layout).c_str()), 1);
        p->set_position(static_cast<float>(x), static_cast<float>(y), 0);
        return p;
    }

    static surface_ptr solid(int w, int h, Uint8 r, Uint8 g, Uint8 b) {
        surface_ptr s(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF, 0xFF00, 0xFF0000, 0));
        SDL_FillRect(s.get(), nullptr, SDL_MapRGB(s->format, r, g, b));
        return s;
    }

    static void ensure_test_images() {
        if (image_bank().find("TEST_RED") >= 0) return;
        image_bank().add_surface(solid(64, 64, 255, 0, 0), "TEST_RED");
        image_bank().add_surface(solid(64, 32, 0, 0, 255), "TEST_BLUE");
    }
};

} // namespace

TEST_F(gui, FontTexturesStayOutOfTheBankRange) {
    ASSERT_EQ(font_table().count, 4);
    for (int f = 0; f < font_table().count; ++f) {
        const FONT& font = font_table().get(f, 12);
        ASSERT_TRUE(font.loaded());
        for (int c = 0; c < FONT::glyph_count; ++c)
            ASSERT_GE(font.textures[c], static_cast<GLuint>(IMAGE_BANK::capacity))
                << "font " << f << " glyph " << c;
    }
}

TEST_F(gui, DirectUploadsHaveNoMipmapsOthersDo) {
    auto level1_width = [](const char* name) {
        glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(image_bank().find(name)));
        GLint w = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &w);
        return w;
    };
    EXPECT_EQ(level1_width("IMG_001"), 0);        // 64 x 64: direct
    EXPECT_EQ(level1_width("DISP_SIN"), 0);       // 128 x 64: direct
    EXPECT_EQ(level1_width("SLD2"), 16);          // 32 x 32: mipmaps
    EXPECT_EQ(level1_width("FOND_ELECTRO"), 256); // 512 x 512: mipmaps
    glBindTexture(GL_TEXTURE_2D, 0);
}

TEST_F(gui, QuadCoversItsZoomedSizeInTrueColours) {
    ensure_test_images();
    SPRITE red("TEST_RED", 200, 100, 0, 0, 0, 1.5f, 0, 255);
    red.blit();
    SPRITE blue("TEST_BLUE", 600, 400, 0, 0, 0, 1.0f, 0, 255);
    blue.blit();
    const rgb_image img = frame();

    // Centre (x + w/2, y + h/2 + 15), half extents w/2 * zoom and h/2 * zoom.
    const int cx = 200 + 32, cy = 100 + 32 + 15, half = 48;
    int first = -1, last = -1, count = 0;
    for (int x = 0; x < screen_w; ++x) {
        const colour c = at(img, x, cy);
        if (c.r == 255 && c.g == 0 && c.b == 0) {
            if (first < 0) first = x;
            last = x;
            ++count;
        }
    }
    EXPECT_EQ(count, 2 * half);
    EXPECT_EQ(first, cx - half);
    EXPECT_EQ(last, cx + half - 1);
    count = 0;
    first = -1;
    for (int y = 0; y < screen_h; ++y)
        if (at(img, cx, y).r == 255) {
            if (first < 0) first = y;
            ++count;
        }
    EXPECT_EQ(count, 2 * half);
    EXPECT_EQ(first, cy - half);

    // 64 x 32 at zoom 1: exactly its own size, blue where blue belongs.
    const colour b = at(img, 600 + 32, 400 + 16 + 15);
    EXPECT_EQ(b.r, 0);
    EXPECT_EQ(b.b, 255);
    int blue_pixels = 0;
    for (int y = 380; y < 470; ++y)
        for (int x = 580; x < 700; ++x) blue_pixels += at(img, x, y).b == 255;
    EXPECT_EQ(blue_pixels, 64 * 32);
}

TEST_F(gui, TheViewScrollMovesEverythingDrawn) {
    ensure_test_images();
    view_scroll_x = 100;
    view_scroll_y = 50;
    SPRITE red("TEST_RED", 400, 300, 0, 0, 0, 1.0f, 0, 255);
    red.blit();
    fill_rect(600, 300, 10, 10, 0xFF00FF00);
    view_scroll_x = view_scroll_y = 0;
    const rgb_image img = frame();
    // World (400, 300) is screen (300, 250); quads sit 15 lower, rectangles 13.
    EXPECT_EQ(at(img, 300, 265).r, 255);
    EXPECT_EQ(at(img, 299, 265).r, 0);
    EXPECT_EQ(at(img, 300, 264).r, 0);
    EXPECT_EQ(at(img, 363, 328).r, 255);
    EXPECT_EQ(at(img, 364, 328).r, 0);
    EXPECT_EQ(at(img, 500, 263).g, 255);
    EXPECT_EQ(at(img, 500, 262).g, 0);
    EXPECT_EQ(at(img, 509, 272).g, 255);
    EXPECT_EQ(at(img, 510, 272).g, 0);
}

TEST_F(gui, BlendModesComposeAsTheirFormulas) {
    ensure_test_images();
    const colour bg{0x20, 0x50, 0xA0};
    fill_rect(0, 0, screen_w, screen_h, 0xFF2050A0);
    struct mode {
        int x, additive, subtractive, alpha;
    };
    const mode modes[] = {{100, 0, 0, 128}, {300, 1, 0, 255}, {500, 0, 1, 255}};
    for (const mode& m : modes) {
        SPRITE s("TEST_RED", m.x, 300, 0, 0, 0, 1.0f, 0, m.alpha);
        s.additive = m.additive;
        s.subtractive = m.subtractive;
        s.blit();
    }
    const rgb_image img = frame();
    auto near = [](int value, double expected) { return std::abs(value - expected) <= 3; };
    const int y = 300 + 32 + 15;
    // alpha 128: src * a + dst * (1 - a)
    const double a = 128 / 255.0;
    colour c = at(img, 132, y);
    EXPECT_TRUE(near(c.r, 255 * a + bg.r * (1 - a)) && near(c.g, bg.g * (1 - a)) &&
                near(c.b, bg.b * (1 - a)))
        << c.r << "," << c.g << "," << c.b;
    // additive: src * src + dst * (1 - src)
    c = at(img, 332, y);
    EXPECT_TRUE(near(c.r, 255) && near(c.g, bg.g) && near(c.b, bg.b))
        << c.r << "," << c.g << "," << c.b;
    // subtractive: src * dst
    c = at(img, 532, y);
    EXPECT_TRUE(near(c.r, bg.r) && near(c.g, 0) && near(c.b, 0)) << c.r << "," << c.g << "," << c.b;
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
    SPRITE unmasked("JACK_IN_SIGNAL", 400, 200, 0, 0, 0, 1.0f, 0, 255);
    unmasked.blit();
    const rgb_image img = frame();
    const int top = 200 + 15;
    // The corners of a round socket are transparent: the background, exactly.
    for (auto [dx, dy] : {std::pair{1, 1}, {30, 1}, {1, 30}, {30, 30}}) {
        const colour c = at(img, 300 + dx, top + dy);
        EXPECT_EQ(c.r, 0x20);
        EXPECT_EQ(c.g, 0x50);
        EXPECT_EQ(c.b, 0xA0);
    }
    EXPECT_LT(brightness(at(img, 316, top + 16)), 40); // the hole
    EXPECT_GT(at(img, 316 + 8, top + 16).r, 170);      // the white ring of a signal input
    EXPECT_GT(at(img, 316 + 8, top + 16).b, 170);
    // Without its mask the same picture is black where it should be transparent.
    EXPECT_LT(brightness(at(img, 401, top + 1)), 10);
}

TEST_F(gui, KnobPointsWhereItsAngleSays) {
    fill_rect(0, 0, screen_w, screen_h, 0xFF303030);
    // Clockwise on screen with the angle; the pointer reaches 20 pixels out.
    struct pose {
        int angle, dx, dy;
    };
    const pose poses[] = {{0, 0, -20}, {90, 20, 0}, {180, 0, 20}, {270, -20, 0}};
    int x = 60;
    for (const pose& p : poses) {
        SLIDER knob("K", "SLD1");
        knob.angle = p.angle;
        knob.set_position(static_cast<float>(x), 300, 0);
        knob.update();
        knob.blit();
        x += 100;
    }
    const rgb_image img = frame();
    x = 60;
    for (const pose& p : poses) {
        SCOPED_TRACE(p.angle);
        const int cx = x + 32, cy = 300 + 32 + 15;
        EXPECT_GT(brightness(at(img, cx + p.dx, cy + p.dy)), 200);
        for (const pose& other : poses) {
            if (other.angle == p.angle) continue;
            EXPECT_LT(brightness(at(img, cx + other.dx, cy + other.dy)), 120);
        }
        EXPECT_EQ(at(img, x + 1, 300 + 15 + 1).r, 0x30); // masked corner
        x += 100;
    }
}

TEST_F(gui, ButtonsShowEachState) {
    fill_rect(0, 0, screen_w, screen_h, 0xFF303030);
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
    auto count = [&img](int x0, bool (*pick)(const colour&)) {
        int n = 0;
        for (int y = 115; y < 147; ++y)
            for (int x1 = x0; x1 < x0 + 32; ++x1) n += pick(at(img, x1, y));
        return n;
    };
    auto lit_red = [](const colour& c) { return c.r > 200 && c.g < 120 && c.b < 110; };
    auto accent = [](const colour& c) { return c.r > 190 && c.g > 100 && c.g < 175 && c.b < 90; };
    EXPECT_EQ(count(100, lit_red), 0);
    EXPECT_GT(count(150, lit_red), 15); // the lit power sign
    EXPECT_EQ(count(100, accent), 0);
    EXPECT_GT(count(200, accent), 15); // the hover ring
}

TEST_F(gui, LabelsDrawTheirColourWhereTheyStand) {
    auto p = std::make_unique<OBJET>(0, 0, "20");
    const std::string dir = test::scratch_dir("gui_labels");
    test::write_text(dir + "/label.RC", "THIS COLOR=0;WIDTH=300;HEIGHT=100;ALPHA=255;\n"
                                        "LABEL LEVEL LEVEL_A 10 20 0 16 65280\n"
                                        "LABEL OTHER_FONT B 200 20 7 16 16711680\n");
    ASSERT_EQ(p->load_rc((dir + "/label.RC").c_str()), 1);
    p->set_position(100, 400, 0);
    p->draw(0, 1);
    const rgb_image img = frame();
    // Baseline 21 pixels below the label's y, text scaled by size / 36.
    const int baseline = 21 + 20 + 400, left = 110;
    int inside = 0, outside = 0;
    for (int y = 0; y < screen_h; ++y)
        for (int x = 0; x < screen_w; ++x) {
            const colour c = at(img, x, y);
            if (!(c.g > 120 && c.r < 80 && c.b < 80)) continue;
            const bool in_box =
                x >= left - 2 && x <= left + 80 && y >= baseline - 20 && y <= baseline + 3;
            (in_box ? inside : outside)++;
        }
    EXPECT_GT(inside, 30);
    EXPECT_EQ(outside, 0);
    // A font number the list did not fill draws with font 0.
    int red = 0;
    for (int y = baseline - 20; y <= baseline + 3; ++y)
        for (int x = 298; x < 320; ++x) red += at(img, x, y).r > 120;
    EXPECT_GT(red, 5);
}

TEST_F(gui, PrintBreaksLinesOneSpacingApart) {
    glColor3ub(255, 255, 255);
    print(font_table().get(0, 32), 100, 400, "A\nB");
    print(font_table().get(0, 32), 400, 400, "A\n");
    glColor3ub(255, 255, 255);
    const rgb_image img = frame();
    auto ink_rows = [&img](int x0, int x1) {
        std::vector<int> rows;
        for (int y = 0; y < screen_h; ++y)
            for (int x = x0; x < x1; ++x)
                if (brightness(at(img, x, y)) > 128) {
                    rows.push_back(y);
                    break;
                }
        return rows;
    };
    const double first_baseline = screen_h - 400, spacing = 32.0 / 0.63;
    const std::vector<int> two = ink_rows(95, 140);
    ASSERT_FALSE(two.empty());
    const int line1_bottom = static_cast<int>(first_baseline);
    const int line2_bottom = static_cast<int>(first_baseline + spacing);
    // Glyphs are 32 points at 96 dpi: capitals about 31 pixels tall.
    int in1 = 0, in2 = 0, between = 0;
    for (int y : two) {
        if (y >= line1_bottom - 40 && y <= line1_bottom + 1)
            ++in1;
        else if (y >= line2_bottom - 40 && y <= line2_bottom + 1)
            ++in2;
        else
            ++between;
    }
    EXPECT_GT(in1, 15);
    EXPECT_GT(in2, 15);
    EXPECT_EQ(between, 0);
    for (int y : ink_rows(395, 440)) EXPECT_LE(y, line1_bottom + 1); // "A\n": one line of ink
}

TEST_F(gui, PrintCutsLongTexts) {
    const std::string long_text(1000, 'W');
    glColor3ub(255, 255, 255);
    print(font_table().get(1, 32), 0, 100, "%s|%s", long_text.c_str(), long_text.c_str());
    print(font_table().get(9, 32), 0, 100, "a font slot the list left empty draws nothing");
    LABEL huge(std::string(5000, 'x').c_str(), 0, 0, 0, 0, 1, 12, 0xFFFFFF);
    huge.set_position(0, 300, 0);
    huge.draw_text();
    const rgb_image img = frame();
    int lit = 0;
    for (int x = 0; x < screen_w; x += 4) lit += brightness(at(img, x, screen_h - 110)) > 100;
    EXPECT_GT(lit, 50); // the first line of W's crosses the screen
}

TEST_F(gui, ProjectionsAreThePerspectiveAndThePixelFrame) {
    auto matrix = [](GLenum which) {
        std::vector<GLfloat> m(16);
        glGetFloatv(which, m.data());
        return m;
    };
    pop_ortho(); // the fixture's frame bracket, put back below
    set_perspective(800, 600, 1);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
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
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[3], 1);

    set_perspective(screen_w, screen_h, 1);
    push_ortho(0, 0, screen_w, screen_h);
    p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[0], 2.0 / screen_w, 1e-7);
    EXPECT_NEAR(p[5], -2.0 / screen_h, 1e-7); // y downward
    EXPECT_NEAR(p[13], 1.0, 1e-6);            // the top row maps to the top of the window
    pop_ortho();
    p = matrix(GL_PROJECTION_MATRIX);
    EXPECT_NEAR(p[5], f, 1e-5); // the perspective is back
    push_ortho(0, 0, screen_w, screen_h);
}

TEST_F(gui, CableSagsToItsComputedPeak) {
    draw_curve(100, 300, 300, 300, 0xFFFFFF);
    const rgb_image img = frame();
    // Quadratic Bezier at t = 1/2: (P0 + 2 P1 + P2) / 4 with P1.y = y1 + y2, all
    // 15 pixels lower.
    const double peak = (315 + 2 * (600 + 15) + 315) / 4.0;
    int brightest = -1, best = 0;
    for (int y = 0; y < screen_h; ++y) {
        const int b = brightness(at(img, 200, y));
        if (b > best) {
            best = b;
            brightest = y;
        }
        if (b > 30) {
            EXPECT_NEAR(y, peak, 5.0) << "ink far from the curve";
        }
    }
    EXPECT_GE(best, 240); // the centre lines keep the full colour
    EXPECT_NEAR(brightest, peak, 2.0);
    // The outer lines are darker: 9/16 of the colour.
    int outer = 0;
    for (int y = static_cast<int>(peak) - 6; y <= static_cast<int>(peak) + 6; ++y) {
        const int b = brightness(at(img, 200, y));
        if (b > 100 && b < 180) ++outer;
    }
    EXPECT_GE(outer, 1);
}

TEST_F(gui, ShowcaseLayoutsAreCompleteAndDrawAsAnInstrument) {
    // Every element of the showcase layouts reads cleanly and names a picture of
    // the bundle.
    const char* files[] = {"vco.RC",      "mixer.RC",     "vcf_back.RC", "palette.RC", "filter.RC",
                           "keyboard.RC", "sequencer.RC", "output.RC",   "delay.RC"};
    for (const char* f : files) {
        testing::internal::CaptureStdout();
        auto p = panel("30", f, 0, 0);
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_EQ(log, "") << f;
        for (const element_ptr& e : *p->elements) {
            if (dynamic_cast<LABEL*>(e.get())) continue;
            EXPECT_GE(image_bank().find(e->image), 0) << e->name;
        }
    }

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

    // Widgets in a few states, as the event passes would leave them.
    auto click = [](OBJET& p, const char* name) {
        auto* b = dynamic_cast<BUTTON*>(p.find_element(name));
        ASSERT_NE(b, nullptr) << name;
        b->post(GUI_MESSAGE::mouse(SDL_MOUSEBUTTONUP, 1, b));
    };
    auto hover = [](OBJET& p, const char* name) {
        SPRITE* e = p.find_element(name);
        ASSERT_NE(e, nullptr) << name;
        dynamic_cast<MSG_RESPONDER*>(e)->post(GUI_MESSAGE::command("TOUCH_IN", e));
    };
    click(*vco, "POWER");
    click(*vco, "FILTER_TOGGLE");
    hover(*vco, "DIST_TOGGLE");
    click(*vco, "ENV_TOGGLE");
    click(*mixer, "BYPASS_CANAL_2");
    click(*modules, "BUTTON_VCO");
    hover(*modules, "BUTTON_VCF");
    click(*keys, "POWER");
    hover(*keys, "BUTTON_OCT_UP");
    click(*seq, "BUTTON_PATTERN_2");
    for (int step : {1, 4, 5, 9, 13})
        click(*seq, ("BUTTON_ACCENT_" + std::to_string(step)).c_str());
    hover(*filter, "BYPASS");
    click(*out, "POWER");

    std::vector<OBJET*> panels = {vco.get(),  mixer.get(), vcf.get(), modules.get(), filter.get(),
                                  keys.get(), seq.get(),   out.get(), delay.get()};
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
            const colour c = at(img, x, y);
            colours.insert((c.r << 16) | (c.g << 8) | c.b);
        }
    EXPECT_GT(colours.size(), 2000u);
    // The VCO's output jack carries a plug, the loose end its unplugged picture.
    EXPECT_STREQ(cables.back()->start_plug.image, "FICHE_UNPLUG");
}
