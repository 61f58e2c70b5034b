// The render command end to end: the real binary renders a patch to WAV.
#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>

#include "support/harness.hpp"

using namespace tmod::test;

namespace {
const std::string sine_patch = std::string(TM_SOURCE_DATA_DIR) + "/TSY/sine440.tsy";
}

TEST(RenderCommand, ASinePatchRendersItsFrequencyAndLevelAndFloatItsValue) {
    const std::string dir = scratch_dir();
    ASSERT_EQ(run_program("--render " + dir + "/out.wav --seconds 2 " + sine_patch), 0);
    const sound w = read_sound(dir + "/out.wav");
    ASSERT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    ASSERT_EQ(w.frames, 88200);
    EXPECT_EQ(w.channel(0), w.channel(1)) << "both channels carry the same value";
    // Amplitude 1 is 1/2.5 of full scale: 32767 / 2.5 truncated is 13106.
    EXPECT_NEAR(peak(w.channel(0)) * 32768.0, 13106.0, 1.0);
    EXPECT_NEAR(crossing_frequency(w.channel(0)), vco_sine_frequency(440.0), 0.5);

    ASSERT_EQ(run_program("--render " + dir + "/f.wav --seconds 0.5 --float " + sine_patch), 0);
    const sound f = read_sound(dir + "/f.wav");
    ASSERT_EQ(f.channels, 1);
    EXPECT_EQ(f.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(f.frames, 22050);
    EXPECT_NEAR(peak(f.channel(0)), 1.0f, 1e-4);
}

TEST(RenderCommand, EventsPlayTheKeyboardAtTheirFrame) {
    const std::string dir = scratch_dir();
    write_text(dir + "/key.tsy", tsy("KEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\nSOUND_OUTPUT_1;;\n",
                                     "VCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\n"));
    // TRIG 60 plays keyboard note 22: entry 22 + 12 * 4 = 70, an octave above 440 Hz.
    write_text(dir + "/key.events", "# a note\n0.5 TRIG 60\n\n");
    ASSERT_EQ(run_program("--render " + dir + "/out.wav --seconds 1 --events " + dir +
                          "/key.events " + dir + "/key.tsy"),
              0);
    const sound w = read_sound(dir + "/out.wav");
    ASSERT_EQ(w.frames, 44100);
    EXPECT_NEAR(crossing_frequency(w.channel(0, 0, 22050)), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(crossing_frequency(w.channel(0, 22060)), vco_sine_frequency(880.0), 2.0);
}

TEST(RenderCommand, MistakesExitWithStatusTwo) {
    const std::string dir = scratch_dir();
    write_text(dir + "/bad.events", "soon TRIG 60\n");
    const std::pair<std::string, int> runs[] = {
        {"--render", 2},
        {"--seconds abc --render x.wav " + sine_patch, 2},
        {"--seconds -1 --render x.wav " + sine_patch, 2},
        {"--bogus", 2},
        {"--float " + sine_patch, 2}, // --float goes with --render
        {"--render " + dir + "/o.wav --events " + dir + "/bad.events " + sine_patch, 2},
        {"--render " + dir + "/o.wav " + dir + "/missing.tsy", 1},
        {"--render /no/such/dir/o.wav --seconds 0.1 " + sine_patch, 1},
        {"--help", 0},
    };
    for (const auto& [args, status] : runs) EXPECT_EQ(run_program(args), status) << args;
}

// A patch read only in part is said in one line; with --strict it is an
// error and nothing is rendered or recorded. A whole patch renders as before.
TEST(RenderCommand, AHalfReadPatchIsSaidAndStrictRefusesIt) {
    const std::string dir = scratch_dir();
    const std::string bad = dir + "/bad.tsy";
    write_text(bad, tsy("SINE_1;FREQ=440;\nVCO_1;TYPE=1;FREQ=440;\nSOUND_OUTPUT_1;;\n",
                        "SOUND_OUTPUT_1;IN=VCO_1;\nVCO_7;IN=SOUND_OUTPUT_1;\n"
                        "VCO_1;MOD_FREQ=NOBODY;\n"));
    ASSERT_EQ(run_program("--render " + dir + "/out.wav --seconds 0.2 " + bad, dir + "/log"), 0);
    EXPECT_NE(read_text(dir + "/log").find("3 records of " + bad + " could not be read\n"),
              std::string::npos)
        << read_text(dir + "/log");
    EXPECT_EQ(read_sound(dir + "/out.wav").frames, 8820);

    EXPECT_EQ(run_program("--strict --render " + dir + "/strict.wav --seconds 0.2 " + bad,
                          dir + "/strict.log"),
              1);
    EXPECT_NE(read_text(dir + "/strict.log").find("3 records of " + bad), std::string::npos);
    EXPECT_EQ(shell("timeout 60 " + std::string(TM_PROGRAM) +
                    " --headless --strict --audio nosound --remote-port 0 --record " + dir +
                    "/take.wav " + bad + " > " + dir + "/headless.log 2>&1"),
              1);
    EXPECT_FALSE(std::filesystem::exists(dir + "/strict.wav"));
    EXPECT_FALSE(std::filesystem::exists(dir + "/take.wav"));
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp."), std::string::npos) << entry.path();

    ASSERT_EQ(run_program("--render " + dir + "/plain.wav --seconds 0.5 " + sine_patch), 0);
    ASSERT_EQ(run_program("--strict --render " + dir + "/whole.wav --seconds 0.5 " + sine_patch,
                          dir + "/whole.log"),
              0);
    EXPECT_EQ(read_text(dir + "/whole.wav"), read_text(dir + "/plain.wav"));
    EXPECT_EQ(read_text(dir + "/whole.log").find("could not be read"), std::string::npos);
}
