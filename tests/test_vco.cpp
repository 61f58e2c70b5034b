// The oscillator: each waveform against values worked out here, modulation
// and replacement, IN tracking, sync, power and the clamp.
#include <algorithm>
#include <cmath>
#include <set>
#include <gtest/gtest.h>

#include "modules/vco.hpp"
#include "support/harness.hpp"

using namespace tmod;
using test::hand_source;

namespace {

// The ramp as the oscillator runs it, worked out independently: step f/44100
// in float, and a cycle restarts at exactly -1 when the ramp passes 1.
std::vector<float> ramps(float f, int n, float start = 0.0f) {
    std::vector<float> r;
    float x = start;
    for (int i = 0; i < n; ++i) {
        x = x + f / 44100.0f;
        if (x > 1.0f) x = -1.0f;
        r.push_back(x);
    }
    return r;
}

float clamp1(float v) { return v >= 1.0f ? 1.0f : (v <= -1.0f ? -1.0f : v); }

VCO make(int wave, float freq, float amount = 1.0f) { return VCO(amount, freq, wave); }

} // namespace

TEST(VcoShapes, SineFollowsTheRampWithTwoPeriodsPerCycle) {
    VCO v(0.8f, 440.0f, wave_sine);
    v.phase = 0.3f;
    const auto out = test::run(v, 500);
    const auto r = ramps(440.0f, 500);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(out[i], float(0.8f * std::sin(6.283185307179586 * r[i] + 0.3f))) << i;
    // A cycle is the first whole number of steps that passes 2, and holds two periods.
    const double cycle = std::floor(2.0 / (440.0 / 44100.0)) + 1;
    VCO w(1.0f, 440.0f, wave_sine);
    const auto long_run = test::run(w, 44100);
    EXPECT_NEAR(test::crossing_frequency(long_run), 2 * 44100.0 / cycle, 0.5);
}

TEST(VcoShapes, TriangleSpansFourTimesTheAmplitudeAndIsClippedAtOne) {
    VCO half(0.5f, 441.0f, wave_triangle);
    const auto a = test::run(half, 400);
    EXPECT_NEAR(*std::max_element(a.begin(), a.end()), 1.0f, 0.02f);
    EXPECT_NEAR(*std::min_element(a.begin(), a.end()), -1.0f, 0.001f);
    const auto r = ramps(441.0f, 400);
    for (int i = 0; i < 400; ++i) {
        const float m = r[i] < 0 ? -(2.0f * 0.5f * r[i]) : 2.0f * 0.5f * r[i];
        ASSERT_FLOAT_EQ(a[i], clamp1((m - 0.5f) * 2.0f)) << i;
    }
    VCO full(1.0f, 441.0f, wave_triangle);
    const auto b = test::run(full, 400);
    const int clipped = std::count_if(b.begin(), b.end(), [](float x) { return std::fabs(x) == 1.0f; });
    EXPECT_NEAR(clipped / 400.0, 0.5, 0.03) << "a trapezoid: clipped for half of each cycle";
}

TEST(VcoShapes, SawIsTheRampTimesTheAmplitude) {
    VCO v(0.5f, 1000.0f, wave_saw);
    const auto out = test::run(v, 300);
    const auto r = ramps(1000.0f, 300);
    for (int i = 0; i < 300; ++i) ASSERT_FLOAT_EQ(out[i], r[i] * 0.5f);
}

TEST(VcoShapes, SquareSitsAtAQuarterOfTheAmplitude) {
    VCO v(1.0f, 300.0f, wave_square);
    const auto out = test::run(v, 2000);
    int plus = 0;
    for (float x : out) {
        ASSERT_TRUE(x == 0.25f || x == -0.25f) << x;
        plus += x > 0;
    }
    EXPECT_NEAR(plus / 2000.0, 0.5, 0.02);
    // Twice the ramp's rate, like the sine: the frequency is F.
    VCO w(1.0f, 300.0f, wave_square);
    EXPECT_NEAR(test::crossing_frequency(test::run(w, 44100)), 300.0, 3.0);
}

TEST(VcoShapes, PulseIsHighWhileThePhasedRampIsBelowTheWidth) {
    VCO v(0.6f, 441.0f, wave_pulse);
    v.phase = 0.2f;
    const auto out = test::run(v, 400);
    const auto r = ramps(441.0f, 400);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(out[i], 0.2f + r[i] > 0.1f ? -0.6f : 0.6f) << i;
}

TEST(VcoShapes, WhiteNoiseIsHeldPerCycleAndStaysInRange) {
    VCO v(1.0f, 4410.0f, wave_white_noise); // a cycle every 21 samples
    const auto out = test::run(v, 4000);
    const auto r = ramps(4410.0f, 4000);
    std::set<float> levels;
    for (int i = 1; i < 4000; ++i) {
        ASSERT_LE(std::fabs(out[i]), 1.0f);
        if (r[i] != -1.0f) {
            ASSERT_EQ(out[i], out[i - 1]) << "a new level only at a cycle start, " << i;
        }
        levels.insert(out[i]);
    }
    EXPECT_GT(levels.size(), 50u);
    VCO quiet(0.0f, 4410.0f, wave_white_noise);
    for (float x : test::run(quiet, 500)) ASSERT_EQ(x, 0.0f);
}

TEST(VcoShapes, RandomSignNoiseFlipsAndStaysClamped) {
    VCO v(1.0f, 100.0f, wave_random_sign);
    const auto out = test::run(v, 20000);
    int flips = 0;
    for (int i = 1; i < 20000; ++i) {
        ASSERT_LE(std::fabs(out[i]), 1.0f);
        if (out[i] == -out[i - 1] && out[i] != 0) ++flips;
    }
    EXPECT_GT(flips, 5000) << "about every other sample changes sign";
    VCO quiet(0.0f, 100.0f, wave_random_sign);
    for (float x : test::run(quiet, 500)) ASSERT_EQ(x, 0.0f);
}

TEST(VcoShapes, AttractorsTakeTheirFirstStepsFromOneOneOne) {
    // Lorenz: dx = 0, dy = 27 - 1, dz = 1 - 2.666; step 220/44100; out = 0.05107 x.
    VCO lorenz(1.0f, 220.0f, wave_lorenz);
    lorenz.compute();
    EXPECT_FLOAT_EQ(lorenz.value, 0.05107f);
    lorenz.compute();
    const float step = 220.0f / 44100.0f;
    const float y1 = 1.0f + 26.0f * step, z1 = 1.0f + (1.0f - 2.666f) * step;
    const float x2 = 1.0f + (y1 - 1.0f) * 10.0f * step;
    EXPECT_FLOAT_EQ(lorenz.value, 0.05107f * x2);
    (void)z1;

    // Rossler: dx = -y - z = -2, step 2.91 * 220 / 44100, out = 0.05757 x.
    VCO rossler(0.5f, 220.0f, wave_rossler);
    rossler.compute();
    const float rstep = 2.91f * 220.0f / 44100.0f;
    EXPECT_FLOAT_EQ(rossler.value, 0.5f * 0.05757f * (1.0f - 2.0f * rstep));
}

TEST(VcoInputs, ModulationScalesAndReplacementReplaces) {
    hand_source m;
    {
        VCO v = make(wave_saw, 441.0f);
        v.mod_freq.connect(&m.value);
        m.set(1.0f); // F * 1 + F: twice the frequency
        EXPECT_FLOAT_EQ(test::run(v, 3)[2], ramps(882.0f, 3)[2]);
    }
    {
        VCO v = make(wave_saw, 441.0f, 0.25f);
        v.mod_amp.connect(&m.value);
        m.set(0.5f); // A * 0.5 + A
        EXPECT_FLOAT_EQ(test::run(v, 1)[0], ramps(441.0f, 1)[0] * 0.375f);
    }
    {
        VCO v = make(wave_saw, 441.0f);
        v.alt_freq.connect(&m.value);
        m.set(4410.0f);
        EXPECT_FLOAT_EQ(test::run(v, 1)[0], 0.1f);
        EXPECT_EQ(v.freq.load(), 441.0f) << "the stored parameter is not changed";
    }
    {
        VCO v = make(wave_sine, 441.0f);
        v.alt_amp.connect(&m.value);
        m.set(-0.5f); // a negative amplitude is not clamped: the sine inverts
        EXPECT_FLOAT_EQ(test::run(v, 1)[0], float(-0.5 * std::sin(6.283185307179586 * 0.01f)));
        m.set(3.0f); // above 1 behaves as 1
        EXPECT_FLOAT_EQ(test::run(v, 1)[0], float(std::sin(6.283185307179586 * 0.02f)));
    }
    {
        VCO v = make(wave_pulse, 441.0f);
        v.alt_pwm.connect(&m.value);
        m.set(0.5f); // high while the ramp is at most 0.5
        const auto out = test::run(v, 60);
        EXPECT_EQ(out[49], 1.0f);
        EXPECT_EQ(out[50], -1.0f);
    }
}

TEST(VcoInputs, InTracksAFrequencyScaledByFreqOver44) {
    hand_source key;
    key.set(440.0f);
    for (float tuning : {44.0f, 88.0f}) {
        SCOPED_TRACE(tuning);
        VCO tracked = make(wave_sine, tuning);
        tracked.in.connect(&key.value);
        VCO plain = make(wave_sine, 440.0f * tuning / 44.0f);
        EXPECT_EQ(test::run(tracked, 3000), test::run(plain, 3000));
    }
    // With ALT_FREQ connected too, the frequency is ALT_FREQ / 44.
    hand_source alt;
    alt.set(44.0f * 441.0f);
    VCO v = make(wave_saw, 1000.0f);
    v.in.connect(&key.value);
    v.alt_freq.connect(&alt.value);
    EXPECT_FLOAT_EQ(test::run(v, 1)[0], 0.01f);
}

TEST(VcoInputs, SyncRestartsTheRampAtZeroNotMinusOne) {
    hand_source s;
    VCO v = make(wave_saw, 4410.0f);
    v.sync_in.connect(&s.pulse);
    test::run(v, 7);
    s.pulse = 1;
    v.compute();
    EXPECT_FLOAT_EQ(v.value, 0.1f) << "ramp 0, then one step";
    s.pulse = 0;
    v.compute();
    EXPECT_FLOAT_EQ(v.value, 0.2f);
}

TEST(VcoInputs, RampAtTheSampleRateWrapsOnTheSecondCall) {
    VCO v = make(wave_saw, 44100.0f);
    EXPECT_EQ(test::run(v, 3), (std::vector<float>{1.0f, -1.0f, 0.0f}));
}

TEST(VcoInputs, PowerOffGivesExactlyZeroAndFreezesTheRamp) {
    hand_source m;
    m.set(5.0f);
    VCO v = make(wave_saw, 441.0f);
    v.mod_amp.connect(&m.value);
    test::run(v, 10);
    v.power = 0;
    for (float x : test::run(v, 20)) ASSERT_EQ(x, 0.0f);
    v.power = 1;
    v.mod_amp.disconnect();
    EXPECT_FLOAT_EQ(test::run(v, 1)[0], ramps(441.0f, 11)[10]);
}

TEST(VcoInputs, UnknownWaveformsAreSilent) {
    for (int wave : {0, 10, -3, 1000}) {
        VCO v = make(wave, 440.0f);
        for (float x : test::run(v, 50)) ASSERT_EQ(x, 0.0f) << wave;
    }
}

// A free-running oscillator works its values out once, when something is
// changed from outside; every change must still be heard from the next sample.
TEST(VcoInputs, ChangesFromOutsideTakeEffectOnTheNextSample) {
    VCO v = make(wave_saw, 441.0f); // steps of 0.01
    test::run(v, 5);
    v.freq = 882.0f;
    EXPECT_FLOAT_EQ(test::run(v, 1)[0], 0.05f + 0.02f);
    v.amount = 0.5f;
    EXPECT_FLOAT_EQ(test::run(v, 1)[0], (0.07f + 0.02f) * 0.5f);

    hand_source m;
    m.set(1.0f);
    v.mod_freq.connect(&m.value); // twice the frequency again
    EXPECT_FLOAT_EQ(test::run(v, 1)[0], (0.09f + 0.04f) * 0.5f);
    v.mod_freq.disconnect();
    EXPECT_FLOAT_EQ(test::run(v, 1)[0], (0.13f + 0.02f) * 0.5f);

    v.power = 0;
    EXPECT_EQ(test::run(v, 1)[0], 0.0f);
    v.power = 1;
    v.type = wave_pulse; // 0.17 is above the width 0.1: low
    EXPECT_EQ(test::run(v, 1)[0], -0.5f);
}

TEST(VcoShapes, ASineStaysExactAcrossParameterChangesAndSyncs) {
    // The recorded cycle must never serve a sample computed for other values.
    VCO v(1.0f, 441.0f, wave_sine);
    hand_source s;
    v.sync_in.connect(&s.pulse);
    float r = 0.0f;
    for (int i = 0; i < 3000; ++i) {
        const float f = i < 1000 ? 441.0f : (i < 2000 ? 882.0f : 441.0f);
        if (v.freq.load() != f) v.freq = f;
        s.pulse = i % 777 == 0 ? 1 : 0;
        if (s.pulse) r = 0.0f;
        r = r + f / 44100.0f;
        if (r > 1.0f) r = -1.0f;
        v.compute();
        ASSERT_EQ(v.value.load(), float(1.0f * std::sin(6.283185307179586 * r))) << i;
    }
}
