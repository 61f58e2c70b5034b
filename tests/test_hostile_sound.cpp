// Sound modules fed what a hostile patch or file gives them: samples at other
// rates than the engine's, NaN, infinite and negative frequencies.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "support/module_support.hpp"
#include "modules/fake303.hpp"
#include "modules/multi_vco.hpp"
#include "modules/sampler.hpp"
#include "modules/vco.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

constexpr double two_pi = 6.283185307179586;
const float nan_value = std::numeric_limits<float>::quiet_NaN();

bool all_finite(const std::vector<float>& s) {
    return std::all_of(s.begin(), s.end(), [](float x) { return std::isfinite(x); });
}

std::vector<float> tail(const std::vector<float>& s, std::size_t n) {
    return std::vector<float>(s.end() - static_cast<long>(n), s.end());
}

// The ramp of a negative frequency worked out here: steps of f / 44100 down
// from 0, and past -1 a cycle restarts at exactly 1.
std::vector<float> backward_ramps(float f, int n) {
    std::vector<float> r;
    float x = 0.0f;
    for (int i = 0; i < n; ++i) {
        x = x + f / 44100.0f;
        if (x < -1.0f) x = 1.0f;
        r.push_back(x);
    }
    return r;
}

} // namespace

TEST(HostileSampler, AFileAtAnotherRatePlaysAtItsOwnPitchAndSpeed) {
    struct row {
        int rate, channels;
        float in; // the frequency on IN, 0 when IN is left alone
    };
    // Left channel a 440 Hz sine, right channel (when there is one) 1000 Hz.
    const double left_hz = 440.0, right_hz = 1000.0, seconds = 1.0;
    for (const row& r :
         {row{48000, 1, 0.0f}, row{22050, 1, 0.0f}, row{96000, 2, 0.0f}, row{48000, 1, 660.0f}}) {
        SCOPED_TRACE(std::to_string(r.rate) + " Hz, IN " + std::to_string(r.in));
        const int frames = static_cast<int>(seconds * r.rate);
        std::vector<short> pcm;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < r.channels; ++c)
                pcm.push_back(static_cast<short>(std::lrint(
                    16000.0 * std::sin(two_pi * (c ? right_hz : left_hz) * i / r.rate))));
        const std::string file = scratch_dir() + "/sine.wav";
        ASSERT_TRUE(write_wav(file, r.rate, r.channels, pcm));

        hand_source key, pitch;
        SAMPLER smp;
        const std::string printed = stdout_of([&] { EXPECT_TRUE(smp.load_sample(file.c_str())); });
        EXPECT_EQ(printed, "");
        // Its own speed: one second of the file lasts one second at 44 100 Hz.
        EXPECT_NEAR(smp.length, seconds * 44100, 2);
        EXPECT_EQ(smp.channels, r.channels);
        wire_gate(smp.gate_in, key);
        if (r.in != 0.0f) {
            pitch.set(r.in);
            wire(smp.in, pitch);
        }
        key.trigger();
        // The sampler steps IN / 440 + PITCH - 1 frames per tick (PITCH alone
        // without IN), and the file's sine at 44 100 Hz is left_hz.
        const double pitch_param = 1.0;
        const double speed = r.in != 0.0f ? r.in / 440.0 + pitch_param - 1.0 : pitch_param;
        const auto out = run(smp, static_cast<int>(0.6 * 44100 / speed));
        EXPECT_NEAR(crossing_frequency(out), left_hz * speed, 0.5);
        EXPECT_NEAR(peak(out), 16000.0 / 32768, 0.01);
    }
}

TEST(HostileSampler, ARateThatCannotBeConvertedIsRefusedWithAMessage) {
    const std::string file = scratch_dir() + "/slow.wav";
    ASSERT_TRUE(write_wav(file, 100, 1, std::vector<short>(400, 1000))); // 441 times too slow
    hand_source key;
    SAMPLER smp;
    const std::string printed = stdout_of([&] { EXPECT_FALSE(smp.load_sample(file.c_str())); });
    EXPECT_NE(printed.find("cannot be converted to 44100 Hz"), std::string::npos) << printed;
    EXPECT_EQ(smp.length, 0);
    wire_gate(smp.gate_in, key);
    key.trigger();
    for (float x : run(smp, 100)) ASSERT_EQ(x, 0.0f);
}

// NaN for a few thousand samples, then 440 Hz: the sine is back at its period.
TEST(HostileOscillator, ANanFrequencyPassesAndTheSineComesBack) {
    const double expected = vco_sine_frequency(440.0);
    hand_source alt;
    VCO connected(1.0f, 110.0f, wave_sine);
    connected.alt_freq.connect(&alt.value);
    VCO free_running(1.0f, 110.0f, wave_sine); // its FREQ itself set to NaN
    MULTI_VCO bank(1.0f, 1.0f, wave_sine);     // voice tuning 1
    bank.alt_freq.connect(&alt.value);
    OUTPUT* oscillators[] = {&connected, &free_running, &bank};

    alt.set(nan_value);
    free_running.freq = nan_value;
    for (OUTPUT* o : oscillators) ASSERT_TRUE(all_finite(run(*o, 3000)));
    alt.set(440.0f);
    free_running.freq = 440.0f;
    for (OUTPUT* o : oscillators) {
        SCOPED_TRACE(o == &bank ? "MULTI_VCO" : o == &connected ? "ALT_FREQ" : "FREQ");
        const auto out = run(*o, 44100);
        ASSERT_TRUE(all_finite(out));
        EXPECT_NEAR(crossing_frequency(tail(out, 40000)), expected, 0.5);
        EXPECT_GT(rms(out), 0.3);
    }
}

TEST(HostileOscillator, InfiniteFrequenciesLeaveNoStuckState) {
    hand_source alt;
    for (int wave : {wave_lorenz, wave_rossler, wave_white_noise, wave_saw}) {
        SCOPED_TRACE(wave);
        VCO v(1.0f, 110.0f, wave);
        v.alt_freq.connect(&alt.value);
        for (float f : {std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity(), nan_value}) {
            alt.set(f);
            run(v, 500);
        }
        alt.set(220.0f);
        const auto out = run(v, 4410);
        ASSERT_TRUE(all_finite(out));
        EXPECT_GT(*std::max_element(out.begin(), out.end()) -
                      *std::min_element(out.begin(), out.end()),
                  0.05f)
            << "moving again";
    }
}

// FREQ=-440 runs the ramp backwards: a falling saw, and a sine at the period
// of 440 Hz, never DC; the recorded cycle of a free-running one stays exact.
TEST(HostileOscillator, ANegativeFrequencyRunsTheRampBackwards) {
    VCO saw(0.5f, -440.0f, wave_saw);
    const auto out = run(saw, 3 * 44100);
    const auto r = backward_ramps(-440.0f, 3 * 44100);
    for (std::size_t i = 0; i < out.size(); ++i) ASSERT_EQ(out[i], r[i] * 0.5f) << i;

    hand_source alt;
    alt.set(-440.0f);
    VCO sine(1.0f, -440.0f, wave_sine);
    VCO connected(1.0f, 110.0f, wave_sine);
    connected.alt_freq.connect(&alt.value);
    for (VCO* v : {&sine, &connected}) {
        const auto s = run(*v, 44100);
        EXPECT_NEAR(crossing_frequency(s), vco_sine_frequency(440.0), 0.5);
        EXPECT_GT(rms(s), 0.6);
    }
}

TEST(HostileOscillator, Fake303WrapsANegativeFrequencyAndOutlivesANan) {
    tempo_scope tempo(60);
    FAKE303 f(1.0f, -441.0f, 2); // the saw is its step ramp, in [0, 1]
    f.filter_switch = 0;
    f.env_switch = 0;
    const auto out = run(f, 11000); // within one sixteenth note
    int wraps = 0;
    for (std::size_t i = 1; i < out.size(); ++i) {
        ASSERT_GE(out[i], 0.0f);
        ASSERT_LE(out[i], 1.0f);
        if (out[i] > out[i - 1] + 0.5f) ++wraps;
    }
    EXPECT_NEAR(wraps, 11000 * 441.0 / 44100, 1) << "a falling saw at 441 Hz";

    hand_source alt;
    FAKE303 g(1.0f, 110.0f, 1);
    g.alt_freq.connect(&alt.value);
    alt.set(nan_value);
    run(g, 1000);
    alt.set(110.0f);
    const auto back = run(g, 1000); // still within the first sixteenth note
    ASSERT_TRUE(all_finite(back));
    EXPECT_GT(rms(back), 0.05);
}
