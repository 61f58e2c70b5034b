// MULTI_VCO (a bank of VCO voices) and FAKE303 (the self-contained bass voice
// stepped by the global tempo).
#include <gtest/gtest.h>

#include "modules/fake303.hpp"
#include "modules/multi_vco.hpp"
#include "support/module_support.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {
// One second of each of the first `n` voices.
std::vector<std::vector<float>> voices(MULTI_VCO& m, int n) {
    std::vector<std::vector<float>> v(n);
    for (int t = 0; t < 44100; ++t) {
        m.compute();
        for (int i = 0; i < n; ++i) v[i].push_back(m.voices[i].value);
    }
    return v;
}
} // namespace

TEST(MultiVco, OneVoiceIsASingleOscillatorAndTheLevelFollowsAmountSquared) {
    for (float amount : {1.0f, 0.5f}) {
        SCOPED_TRACE(amount);
        MULTI_VCO m(amount, 440.0f, wave_sine);
        m.voice_count = 1;
        float ramp = 0; // the sine voice recomputed: a ramp in [-1, 1] restarting at -1
        for (int n = 0; n < 2000; ++n) {
            ramp = ramp + 440.0f / 44100.0f;
            if (ramp > 1.0f) ramp = -1.0f;
            m.compute();
            ASSERT_NEAR(m.value, amount * amount * std::sin(6.283185307179586 * ramp), 1e-6f) << n;
        }
    }
}

TEST(MultiVco, InputTimesEachVoiceTuningOverFortyFour) {
    hand_source key;
    key.set(440.0f);
    MULTI_VCO m(1.0f, 110.0f, wave_sine);
    wire(m.in, key);
    m.voice_count = 3;
    const float tunings[] = {44.0f, 55.44f, 66.0f};
    for (int i = 0; i < 3; ++i) m.voices[i].freq = tunings[i];
    const auto v = voices(m, 3);
    // Within 1 %: the ramp restarts at exactly -1, so a cycle is a whole
    // number of samples (554.4 Hz sounds as 551.25 Hz).
    const double expected[] = {440.0, 554.4, 660.0};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(crossing_frequency(v[i]), expected[i], expected[i] * 0.01) << i;
    EXPECT_EQ(m.voices[1].freq, 55.44f) << "the tunings are put back after every sample";
    const auto out = run(m, 44100);
    EXPECT_LE(peak(out), 1.0f);
    EXPECT_GT(rms(out), 0.2);
}

TEST(MultiVco, FrequencyModulationCompoundsFromVoiceToVoice) {
    // Without IN the working frequency carries over, so each voice is (1 + m)
    // times the one before: a stack of fifths for m = 0.5.
    hand_source mod;
    mod.set(0.5f);
    MULTI_VCO m(1.0f, 100.0f, wave_sine);
    wire(m.mod_freq, mod);
    const auto v = voices(m, 4);
    double f = 100.0;
    for (int i = 0; i < 4; ++i) {
        f *= 1.5;
        EXPECT_NEAR(crossing_frequency(v[i]), f, f * 0.005) << i;
    }
}

TEST(MultiVco, SyncRestartsEveryVoiceAndPowerOffIsSilent) {
    hand_source seq;
    MULTI_VCO m(1.0f, 300.0f, wave_saw);
    wire_sync(m.sync_in, seq);
    run(m, 100);
    seq.request_pulse();
    seq.step_pulse();
    m.compute();
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(m.voices[i].ramp, 300.0f / 44100.0f, 1e-6f);
    m.power = 0;
    EXPECT_EQ(run(m, 1)[0], 0.0f);
    m.power = 1;
    m.voice_count = 0; // no voice: silence, no division
    EXPECT_EQ(run(m, 1)[0], 0.0f);
    m.voice_count = 1000; // more than the bank holds: only the sixteen voices play
    EXPECT_TRUE(std::isfinite(run(m, 1)[0]));
}

TEST(Fake303, StepLengthIsASixteenthOfTheTempo) {
    EXPECT_EQ(sixteenth_note_samples(60), 11025.0f);
    EXPECT_EQ(sixteenth_note_samples(100), 7350.0f); // 400 div 60 = 6 per second
    EXPECT_EQ(sixteenth_note_samples(120), 5512.5f);
    EXPECT_EQ(sixteenth_note_samples(15), 44100.0f);
    // Below 15 BPM the whole-number rate would be 0: the exact length instead.
    EXPECT_EQ(sixteenth_note_samples(10), 66150.0f);
    for (int bpm : {1, 0, -60, -2147483647 - 1}) {
        const float len = sixteenth_note_samples(bpm);
        EXPECT_TRUE(std::isfinite(len) && len > 0.0f) << bpm;
    }
}

TEST(Fake303, EnvelopeAndWaveRestartOnEveryStep) {
    tempo_scope tempo(60);
    FAKE303 f(1.0f, 1.0f, 2); // rising ramp at 1 Hz: it does not wrap within a step
    f.filter_switch = 0;
    // Recomputed here: x = step ramp, times (L - position) / L, with the
    // position restarting once it is above L = 11025.
    float step_ramp = 0, position = 0;
    const float length = 11025.0f;
    int restarts = 0;
    for (int n = 0; n < 3 * 11026; ++n) {
        step_ramp += 1.0f / 44100.0f;
        f.compute();
        ASSERT_NEAR(f.value, (length - position) / length * step_ramp, 1e-6f) << n;
        if (++position > length) {
            position = 0, step_ramp = 0, ++restarts;
            EXPECT_LT(f.value, 1e-3f); // the last sample of a step is nearly silent
        }
    }
    EXPECT_EQ(restarts, 3);
}

TEST(Fake303, TheCutoffFallsDuringAStepAndJumpsBack) {
    tempo_scope tempo(60);
    FAKE303 f(1.0f, 110.0f, 1);
    f.set_cutoff(1400);
    run(f, 11025);
    EXPECT_NEAR(f.current_cutoff, 1400.0f - 1323.0f, 0.5f);
    f.compute(); // the position passes the step length: back at the start cut-off
    EXPECT_EQ(f.current_cutoff, 1400.0f);
    f.compute();
    EXPECT_NEAR(f.current_cutoff, 1400.0f - 0.12f, 1e-3f);
}

TEST(Fake303, TheThreeLevelSquareHasOnlyThreeValues) {
    FAKE303 f(0.6f, 220.0f, 3);
    f.env_switch = 0;
    f.filter_switch = 0;
    const auto out = run(f, 20000);
    for (float v : out) ASSERT_TRUE(v == 0.6f || v == 0.0f || v == -0.6f) << v;
    for (float level : {0.6f, 0.0f, -0.6f})
        EXPECT_NE(std::find(out.begin(), out.end(), level), out.end()) << level;
}

TEST(Fake303, SlowTempoAndOddSettingsStayFinite) {
    for (int bpm : {0, 7, -30}) {
        SCOPED_TRACE(bpm);
        tempo_scope tempo(bpm);
        FAKE303 f(1.0f, 110.0f, 1);
        f.noise_switch = 1;
        f.noise_scale = 0.0f;
        f.dist_switch = 1;
        f.sine_divisor = 0.0f;
        for (float x : run(f, 50000)) ASSERT_TRUE(std::isfinite(x));
    }
    FAKE303 high(1.0f, 110.0f, 9); // a type above 4 becomes the sine
    high.compute();
    EXPECT_EQ(high.type, 1);
}
