// MULTI_VCO (a bank of VCO voices) and FAKE303 (the self-contained bass voice
// stepped by the global tempo).
#include <gtest/gtest.h>

#include "module_support.hpp"
#include "modules/fake303.hpp"
#include "modules/multi_vco.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {
// The sine voice recomputed here: a ramp in [-1, 1] that restarts at -1.
struct sine_model {
    float ramp = 0, freq, amp;
    float operator()() {
        ramp = ramp + freq / 44100.0f;
        if (ramp > 1.0f) ramp = -1.0f;
        return static_cast<float>(amp * std::sin(6.283185307179586 * ramp));
    }
};
} // namespace

TEST(MultiVco, OneVoiceIsASingleOscillatorAndTheLevelFollowsAmountSquared) {
    for (float amount : {1.0f, 0.5f}) {
        SCOPED_TRACE(amount);
        MULTI_VCO m(amount, 440.0f, wave_sine);
        m.voice_count = 1;
        sine_model model{0, 440.0f, amount};
        for (int n = 0; n < 2000; ++n) {
            m.compute();
            ASSERT_NEAR(m.value, amount * model(), 1e-6f) << n;
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
    std::vector<float> voice[3], out;
    for (int n = 0; n < 44100; ++n) {
        m.compute();
        for (int i = 0; i < 3; ++i) voice[i].push_back(m.voices[i].value);
        out.push_back(m.value);
    }
    // Within 1 %: the ramp restarts at exactly -1, so a cycle is a whole
    // number of samples (554.4 Hz sounds as 551.25 Hz).
    const double expected[] = {440.0, 554.4, 660.0};
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(crossing_frequency(voice[i]), expected[i], expected[i] * 0.01) << i;
    // The tunings are put back after every sample.
    EXPECT_EQ(m.voices[1].freq, 55.44f);
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
    std::vector<float> voice[4];
    for (int n = 0; n < 44100; ++n) {
        m.compute();
        for (int i = 0; i < 4; ++i) voice[i].push_back(m.voices[i].value);
    }
    double f = 100.0;
    for (int i = 0; i < 4; ++i) {
        f *= 1.5;
        EXPECT_NEAR(crossing_frequency(voice[i]), f, f * 0.005) << i;
    }
}

TEST(MultiVco, SyncRestartsEveryVoiceAndPowerOffIsSilent) {
    hand_source seq;
    MULTI_VCO m(1.0f, 300.0f, wave_saw);
    wire_sync(m.sync_in, seq);
    for (int n = 0; n < 100; ++n) m.compute();
    seq.request_pulse();
    seq.step_pulse();
    m.compute();
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(m.voices[i].ramp, 300.0f / 44100.0f, 1e-6f);
    m.power = 0;
    m.compute();
    EXPECT_EQ(m.value, 0.0f);
    m.power = 1;
    m.voice_count = 0; // no voice: silence, no division
    m.compute();
    EXPECT_EQ(m.value, 0.0f);
    m.voice_count = 1000; // more than the bank holds: only the sixteen voices play
    m.compute();
    EXPECT_TRUE(std::isfinite(m.value));
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
        const float expected = (length - position) / length * step_ramp;
        f.compute();
        ASSERT_NEAR(f.value, expected, 1e-6f) << n;
        position += 1.0f;
        if (position > length) {
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
    for (int n = 0; n < 11025; ++n) f.compute();
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
    int seen[3] = {};
    for (int n = 0; n < 20000; ++n) {
        f.compute();
        const float v = f.value;
        ASSERT_TRUE(v == 0.6f || v == 0.0f || v == -0.6f) << v;
        ++seen[v > 0 ? 2 : (v < 0 ? 0 : 1)];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_GT(seen[2], 0);
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
        for (int n = 0; n < 50000; ++n) {
            f.compute();
            ASSERT_TRUE(std::isfinite(f.value)) << n;
        }
    }
    FAKE303 high(1.0f, 110.0f, 9); // a type above 4 becomes the sine
    high.compute();
    EXPECT_EQ(high.type, 1);
}
