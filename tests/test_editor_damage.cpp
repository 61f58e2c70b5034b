// The editor in a real window (Xvfb, Mesa) drawing only what changed: after
// knob turns, button and step clicks, a module added, panels moved and
// cables moved, the window shows exactly what a whole redraw of the same
// state shows, pixel for pixel; both ways of keeping the last frame.
#include <SDL/SDL.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

#include "editor/editor.hpp"
#include "support/editor_input.hpp"
#include "engine/generator.hpp"
#include "modules/sequencer.hpp"
#include "support/harness.hpp"
#include "support/window_support.hpp"
#include "toolkit/damage.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/image_bank.hpp"
#include "toolkit/video.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

class DamageDrawn : public testing::TestWithParam<const char*> {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(chdir(TM_SOURCE_DATA_DIR), 0);
        ASSERT_EQ(init_video(1024, 768, "T_Modular damage", "grfx/opengl.tim"), 1);
        std::string why;
        ASSERT_EQ(font_table().try_load_font_list("Fonts/Fonts.FNTS", why), 1) << why;
    }
    static void TearDownTestSuite() {
        font_table().release_all();
        close_video();
    }
    void SetUp() override {
        if (!have_screenshots()) GTEST_SKIP() << "xwd or convert missing";
        // A data directory of its own: no recovery set of another run is offered.
        const std::string data = scratch_dir() + "/data";
        ASSERT_EQ(shell("cp -r '" TM_SOURCE_DATA_DIR "' '" + data + "'"), 0);
        ASSERT_EQ(chdir(data.c_str()), 0);
        setenv("TM_FRAME_KEEPING", GetParam(), 1);
        ed_ = std::make_unique<editor>(g_, nullptr);
    }
    void TearDown() override {
        if (ed_) ed_->close();
        unsetenv("TM_FRAME_KEEPING");
    }

    void send(Uint8 type, int button, int x, int y) {
        ed_->input(test::mouse_event(type, button, x, y));
        frames();
    }
    void key(SDLKey sym) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = sym;
        ed_->input(e);
        e.type = SDL_KEYUP;
        ed_->input(e);
        frames();
    }
    void drag(int button, int x0, int y0, int x1, int y1) {
        send(SDL_MOUSEMOTION, 0, x0, y0);
        send(SDL_MOUSEBUTTONDOWN, button, x0, y0);
        // Through the way, as a hand moves: each step a frame of its own.
        for (int i = 1; i <= 4; ++i)
            send(SDL_MOUSEMOTION, 0, x0 + (x1 - x0) * i / 4, y0 + (y1 - y0) * i / 4);
        send(SDL_MOUSEBUTTONUP, button, x1, y1);
    }
    void click(int x, int y) { drag(SDL_BUTTON_LEFT, x, y, x, y); }
    void wheel(int x, int y, int button, int times) {
        send(SDL_MOUSEMOTION, 0, x, y);
        for (int i = 0; i < times; ++i) {
            send(SDL_MOUSEBUTTONDOWN, button, x, y);
            send(SDL_MOUSEBUTTONUP, button, x, y);
        }
    }
    // Passes for longer than the editor waits between looks when nothing
    // moves, so whatever changed has been drawn.
    void frames() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(120);
        while (std::chrono::steady_clock::now() < end) {
            ed_->pass();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        wait_shown();
    }
    // What the window shows now against a whole redraw of the same state.
    void same_as_whole(const char* after) {
        SCOPED_TRACE(after);
        const picture shown = screenshot();
        ed_->redraw_all();
        frames();
        const picture whole = screenshot();
        ASSERT_EQ(shown.rgb.size(), whole.rgb.size());
        ASSERT_FALSE(shown.rgb.empty());
        int differ = 0, left = whole.width, top = whole.height, right = -1, bottom = -1;
        for (int y = 0; y < whole.height; ++y)
            for (int x = 0; x < whole.width; ++x) {
                const std::size_t i = (static_cast<std::size_t>(y) * whole.width + x) * 3;
                if (shown.rgb[i] == whole.rgb[i] && shown.rgb[i + 1] == whole.rgb[i + 1] &&
                    shown.rgb[i + 2] == whole.rgb[i + 2])
                    continue;
                ++differ;
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
        if (differ > 0) {
            // Both pictures, to look at, in the test's directory.
            for (const picture* p : {&shown, &whole}) {
                FILE* out = std::fopen(p == &shown ? "shown.ppm" : "whole.ppm", "wb");
                if (!out) continue;
                std::fprintf(out, "P6\n%d %d\n255\n", p->width, p->height);
                std::fwrite(p->rgb.data(), 1, p->rgb.size(), out);
                std::fclose(out);
            }
        }
        EXPECT_EQ(differ, 0) << "stale pixels within x " << left << ".." << right << ", y " << top
                             << ".." << bottom;
        ++checks_;
    }
    // Whether the pictures before and after a gesture differ: the gesture
    // was seen (a comparison of unchanged frames proves nothing).
    bool changes(const std::function<void()>& gesture) {
        const picture before = screenshot();
        gesture();
        return screenshot().rgb != before.rgb;
    }

    GENERATOR g_;
    std::unique_ptr<editor> ed_;
    int checks_ = 0;
};

TEST_P(DamageDrawn, ChangedRegionsLeaveTheWindowAsAWholeRedrawWould) {
    ed_->start("TSY/demo_subtractive.tsy");
    frames();
    // demo_subtractive (window pixels): the oscillator's knob at (160, 235),
    // a button at (816, 202), the palette's entry at (717, 133), a panel
    // title at (700, 330).
    EXPECT_TRUE(changes([&] { drag(SDL_BUTTON_LEFT, 160, 235, 160, 250); }));
    same_as_whole("a knob dragged");
    EXPECT_TRUE(changes([&] { wheel(160, 235, SDL_BUTTON_WHEELUP, 6); }));
    same_as_whole("a knob turned by the wheel");
    EXPECT_TRUE(changes([&] { click(816, 202); }));
    same_as_whole("a button clicked");
    EXPECT_TRUE(changes([&] { click(717, 133); }));
    same_as_whole("a module added from the palette");
    // The window uncovered: shown again as it was.
    EXPECT_TRUE(changes([&] { click(637, 74); }));
    SDL_Event uncovered{};
    uncovered.type = SDL_VIDEOEXPOSE;
    ed_->input(uncovered);
    frames();
    same_as_whole("another module added, then the window uncovered");
    EXPECT_TRUE(changes([&] { drag(SDL_BUTTON_RIGHT, 700, 330, 300, 600); }));
    same_as_whole("a panel moved over others");
    EXPECT_TRUE(changes([&] { drag(SDL_BUTTON_RIGHT, 300, 600, 520, 420); }));
    same_as_whole("the panel moved again");
    // Edit mode: a cable's end carried from the filter to the oscillator,
    // then a panel with cables moved.
    key(SDLK_F6);
    EXPECT_TRUE(changes([&] { drag(SDL_BUTTON_LEFT, 748, 207, 196, 207); }));
    same_as_whole("a cable moved");
    EXPECT_TRUE(changes([&] { drag(SDL_BUTTON_RIGHT, 160, 180, 200, 520); }));
    same_as_whole("a panel with cables moved");
    key(SDLK_F6);

    // demo_bassline: the sequencer's first steps' arrows, octave up at y 288
    // and note up at 336, 16 pixels apart from x 168; its title bar at (300, 175).
    ed_->load("TSY/demo_bassline.tsy");
    frames();
    const auto* seq = static_cast<const SEQUENCER*>(g_.at(module_kind::SEQUENCER, 0));
    ASSERT_NE(seq, nullptr);
    const partition_block steps = seq->memory;
    EXPECT_TRUE(changes([&] {
        for (int step = 0; step < 4; ++step) click(168 + 16 * step, 288);
        click(168, 336);
    }));
    EXPECT_NE(std::memcmp(&steps, &seq->memory, sizeof steps), 0);
    same_as_whole("steps changed");
    EXPECT_TRUE(changes([&] { drag(SDL_BUTTON_RIGHT, 300, 175, 360, 420); }));
    same_as_whole("the sequencer moved");
    EXPECT_EQ(checks_, 11);
}

INSTANTIATE_TEST_SUITE_P(Keeping, DamageDrawn, testing::Values("copy", "texture"));

} // namespace
