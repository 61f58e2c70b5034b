// The editor's oscilloscope view and its remote control, driven like a user
// in a virtual display: F1 shows the trace of the sound and F1 leaves it; a
// remote client plays notes in play mode and gets the console in edit mode.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

#include "support/harness.hpp"
#include "support/remote_client.hpp"
#include "support/window_support.hpp"

using namespace tmod::test;

namespace {

// Where the view puts value 0 and how many rows one unit of value takes.
constexpr int baseline = 512;
constexpr double rows_per_unit = 128.0;

struct trace_rows {
    int cyan_on_baseline = 0;     // columns of the sweep's left 800
    int top = 10000, bottom = -1; // rows reached by magenta
    int white_outside = 0;        // white points beyond the amplitude
};

trace_rows look_at(const picture& pic, double amplitude) {
    trace_rows t;
    const int reach = static_cast<int>(amplitude * rows_per_unit);
    for (int x = 0; x < 800 && x < pic.width; ++x) {
        if (pic.is(x, baseline, 0, 255, 255)) ++t.cyan_on_baseline;
        for (int y = 0; y < pic.height; ++y) {
            if (pic.is(x, y, 255, 0, 255))
                t.top = std::min(t.top, y), t.bottom = std::max(t.bottom, y);
            if (pic.is(x, y, 255, 255, 255) && std::abs(y - baseline) > reach + 1)
                ++t.white_outside;
        }
    }
    return t;
}

} // namespace

TEST(EditorScope, F1ShowsTheSineTraceAndF1LeavesIt) {
    if (!have_xdotool() || !have_screenshots()) GTEST_SKIP() << "xdotool, xwd or convert missing";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    child program({TM_PROGRAM, "--audio", "nosound", "--remote-port", "0", "--data", data,
                   data + "/TSY/sine440.tsy"},
                  dir + "/log.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    xdo("mousemove 600 700 key F1");
    // A sweep goes right across 800 columns and starts again ("Draw").
    ASSERT_TRUE(program.wait_for("Draw\nBlit\n")) << program.output();
    picture pic;
    ASSERT_TRUE(wait_until([&] {
        pic = screenshot();
        return !pic.rgb.empty() && look_at(pic, 1.0).cyan_on_baseline > 100;
    })) << program.output();

    // VCO_1 has AMOUNT 1: values reach +-1, so the magenta bars reach
    // 128 - 1 rows above and below the baseline; the peak sample of a 440 Hz
    // sine at 44100 Hz is within cos(pi * 440 / 44100) of 1, one row less at most.
    const trace_rows t = look_at(pic, 1.0);
    const int reach = static_cast<int>(rows_per_unit) - 1;
    EXPECT_GE(t.top, baseline - reach);
    EXPECT_LE(t.top, baseline - reach + 1);
    EXPECT_LE(t.bottom, baseline + reach);
    EXPECT_GE(t.bottom, baseline + reach - 1);
    EXPECT_EQ(t.white_outside, 0);

    xdo("key F1");
    // The panels are back: no trace on the baseline any more.
    ASSERT_TRUE(wait_until([&] {
        pic = screenshot();
        return !pic.rgb.empty() && look_at(pic, 1.0).cyan_on_baseline == 0;
    })) << program.output();
    EXPECT_EQ(look_at(pic, 1.0).bottom, -1);
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
}

TEST(EditorScope, RemotePlaysInPlayModeAndGreetsWithTheConsoleInEditMode) {
    if (!have_xdotool() || !have_screenshots()) GTEST_SKIP() << "xdotool, xwd or convert missing";
    const std::string dir = scratch_dir();
    const std::string data = data_copy(dir);
    const int port = free_port();
    const std::string played = dir + "/out.wav";
    child program({TM_PROGRAM, "--audio", "nosound", "--record", played, "--remote-port",
                   std::to_string(port), "--data", data, data + "/TSY/demo_subtractive.tsy"},
                  dir + "/log.txt");
    ASSERT_TRUE(editor_shown(program)) << program.output();
    xdo("mousemove 600 700");

    // Play mode: notes. Nothing sounds before the trigger (the envelopes are shut).
    tcp_client player(port);
    ASSERT_TRUE(player.connected());
    ASSERT_TRUE(program.wait_for("BEF : ")) << program.output();
    ASSERT_TRUE(wait_until([&] { return recorded_frames(played) > 44100; })) << program.output();
    const long before = recorded_frames(played);
    ASSERT_TRUE(player.send("TRIG 60\r\n"));
    // 60 - 38: keyboard note 22 of the only generator slot.
    ASSERT_TRUE(program.wait_for("TRIG [22] on generator [0]")) << program.output();
    ASSERT_TRUE(wait_until([&] { return recorded_frames(played) > before + 44100; }))
        << program.output();
    const std::vector<int> left = recorded_left(played);
    ASSERT_GT(left.size(), static_cast<std::size_t>(before + 44100));
    int quiet = 0, loud = 0;
    for (long i = before - 44100 / 2; i < before; ++i) quiet = std::max(quiet, std::abs(left[i]));
    for (std::size_t i = before; i < left.size(); ++i) loud = std::max(loud, std::abs(left[i]));
    EXPECT_LT(quiet, 30);
    EXPECT_GT(loud, 1000);
    ASSERT_TRUE(player.send("UNTRIG 60\r\nFINISH\r\n"));

    // F6: edit mode once the window shows the panels' back faces.
    const picture front = screenshot();
    ASSERT_FALSE(front.rgb.empty());
    xdo("key F6");
    ASSERT_TRUE(wait_until([&] {
        const picture now = screenshot();
        if (now.rgb.size() != front.rgb.size()) return false;
        std::size_t changed = 0;
        for (std::size_t i = 0; i < now.rgb.size(); ++i) changed += now.rgb[i] != front.rgb[i];
        return changed > 10000;
    })) << program.output();
    tcp_client console(port);
    ASSERT_TRUE(console.connected());
    const std::string greeting =
        "Hello to T_SYNTH remote access!\r\nENTER YOU COMMAND then FINISH to exit";
    // Sent with its terminating zero byte.
    const std::string got = console.receive(greeting.size() + 1);
    EXPECT_EQ(got.substr(0, greeting.size() + 1), greeting + '\0') << program.output();
    ASSERT_TRUE(console.send("FINISH\r\n"));

    xdo("key F6");
    xdo("key Escape");
    ASSERT_TRUE(wait_until([&] { return !program.running(); })) << program.output();
    EXPECT_EQ(program.stop(), 0) << program.output();
}
