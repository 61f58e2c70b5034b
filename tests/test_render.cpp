// The render command end to end: the real binary renders a patch to WAV.
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/wait.h>

#include "support/harness.hpp"

namespace {

int run(const std::string& args) {
    const std::string cmd = std::string(TM_PROGRAM) + " " + args + " > /dev/null 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct wav {
    SF_INFO info{};
    std::vector<float> samples; // interleaved, in -1..1 for 16-bit files
};

wav read_wav(const std::string& path) {
    wav w;
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &w.info);
    if (!f) return w;
    w.samples.resize(static_cast<std::size_t>(w.info.frames * w.info.channels));
    sf_read_float(f, w.samples.data(), static_cast<sf_count_t>(w.samples.size()));
    sf_close(f);
    return w;
}

std::vector<float> channel(const wav& w, int c, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    std::vector<float> out;
    for (std::size_t i = from; i < static_cast<std::size_t>(w.info.frames) && i < to; ++i)
        out.push_back(w.samples[i * w.info.channels + c]);
    return out;
}

// A VCO's cycle: the whole number of steps of f/44100 that first passes 2;
// the sine makes two periods in it.
double vco_sine_frequency(double f) { return 2 * 44100.0 / (std::floor(2.0 / (f / 44100.0)) + 1); }

const std::string sine_patch = std::string(TM_SOURCE_DATA_DIR) + "/TSY/sine440.tsy";

} // namespace

TEST(RenderCommand, ASinePatchRendersItsFrequencyAndLevel) {
    const std::string out = tmod::test::scratch_dir("render_sine") + "/out.wav";
    ASSERT_EQ(run("--render " + out + " --seconds 2 " + sine_patch), 0);
    const wav w = read_wav(out);
    ASSERT_EQ(w.info.channels, 2);
    EXPECT_EQ(w.info.samplerate, 44100);
    ASSERT_EQ(w.info.frames, 88200);
    EXPECT_EQ(channel(w, 0), channel(w, 1)) << "both channels carry the same value";
    const auto left = channel(w, 0);
    // Amplitude 1 is 1/2.5 of full scale: 32767 / 2.5 truncated is 13106.
    EXPECT_NEAR(tmod::test::peak(left) * 32768.0, 13106.0, 1.0);
    EXPECT_NEAR(tmod::test::crossing_frequency(left), vco_sine_frequency(440.0), 0.5);
}

TEST(RenderCommand, FloatWritesThePatchValueInMono) {
    const std::string out = tmod::test::scratch_dir("render_float") + "/out.wav";
    ASSERT_EQ(run("--render " + out + " --seconds 0.5 --float " + sine_patch), 0);
    const wav w = read_wav(out);
    ASSERT_EQ(w.info.channels, 1);
    EXPECT_EQ(w.info.format & SF_FORMAT_SUBMASK, SF_FORMAT_FLOAT);
    EXPECT_EQ(w.info.frames, 22050);
    EXPECT_NEAR(tmod::test::peak(channel(w, 0)), 1.0f, 1e-4);
}

TEST(RenderCommand, EventsPlayTheKeyboardAtTheirFrame) {
    const std::string dir = tmod::test::scratch_dir("render_events");
    tmod::test::write_text(dir + "/key.tsy", "BEGIN_OBJECTS_DECLARE\nKEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\n"
                                             "SOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\nBEGIN_LINKS_DECLARE\n"
                                             "VCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\nEND_LINKS_DECLARE\n");
    // TRIG 60 plays keyboard note 22: entry 22 + 12 * 4 = 70, an octave above 440 Hz.
    tmod::test::write_text(dir + "/key.events", "# a note\n0.5 TRIG 60\n\n");
    ASSERT_EQ(run("--render " + dir + "/out.wav --seconds 1 --events " + dir + "/key.events " + dir + "/key.tsy"), 0);
    const wav w = read_wav(dir + "/out.wav");
    ASSERT_EQ(w.info.frames, 44100);
    EXPECT_NEAR(tmod::test::crossing_frequency(channel(w, 0, 0, 22050)), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(tmod::test::crossing_frequency(channel(w, 0, 22060)), vco_sine_frequency(880.0), 2.0);
}

TEST(RenderCommand, MistakesExitWithStatusTwo) {
    const std::string dir = tmod::test::scratch_dir("render_errors");
    EXPECT_EQ(run("--render"), 2);
    EXPECT_EQ(run("--seconds abc --render x.wav " + sine_patch), 2);
    EXPECT_EQ(run("--seconds -1 --render x.wav " + sine_patch), 2);
    EXPECT_EQ(run("--bogus"), 2);
    EXPECT_EQ(run("--float " + sine_patch), 2) << "--float goes with --render";
    tmod::test::write_text(dir + "/bad.events", "soon TRIG 60\n");
    EXPECT_EQ(run("--render " + dir + "/o.wav --events " + dir + "/bad.events " + sine_patch), 2);
    EXPECT_EQ(run("--render " + dir + "/o.wav " + dir + "/missing.tsy"), 1);
    EXPECT_EQ(run("--render /no/such/dir/o.wav --seconds 0.1 " + sine_patch), 1);
    EXPECT_EQ(run("--help"), 0);
}
