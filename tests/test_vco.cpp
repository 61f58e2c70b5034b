// The oscillator: each waveform against values worked out here, modulation
// and replacement, IN tracking, sync, power and changes from outside.
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <set>

#include "modules/vco.hpp"
#include "support/harness.hpp"

using namespace tmod;
using test::hand_source;
using test::run;

namespace {

constexpr double two_pi = 6.283185307179586;

// The ramp as the oscillator runs it, worked out independently: step f/44100
// in float, and a cycle restarts at exactly -1 when the ramp passes 1.
std::vector<float> ramps(float f, int n) {
    std::vector<float> r;
    float x = 0.0f;
    for (int i = 0; i < n; ++i) {
        x = x + f / 44100.0f;
        if (x > 1.0f) x = -1.0f;
        r.push_back(x);
    }
    return r;
}

float clamp1(float v) {
    return std::clamp(v, -1.0f, 1.0f);
}

} // namespace

TEST(VcoShapes, SineFollowsTheRampWithTwoPeriodsPerCycle) {
    VCO v(0.8f, 440.0f, wave_sine);
    v.phase = 0.3f;
    const auto out = run(v, 500);
    const auto r = ramps(440.0f, 500);
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(out[i], float(0.8f * std::sin(two_pi * r[i] + 0.3f))) << i;
    VCO w(1.0f, 440.0f, wave_sine);
    EXPECT_NEAR(test::crossing_frequency(run(w, 44100)), test::vco_sine_frequency(440.0), 0.5);
}

TEST(VcoShapes, TriangleSpansFourTimesTheAmplitudeAndIsClippedAtOne) {
    VCO half(0.5f, 441.0f, wave_triangle);
    const auto a = run(half, 400);
    EXPECT_NEAR(*std::max_element(a.begin(), a.end()), 1.0f, 0.02f);
    EXPECT_NEAR(*std::min_element(a.begin(), a.end()), -1.0f, 0.001f);
    const auto r = ramps(441.0f, 400);
    for (int i = 0; i < 400; ++i)
        ASSERT_FLOAT_EQ(a[i], clamp1((std::fabs(2.0f * 0.5f * r[i]) - 0.5f) * 2.0f)) << i;
    VCO full(1.0f, 441.0f, wave_triangle);
    const auto b = run(full, 400);
    const auto clipped =
        std::count_if(b.begin(), b.end(), [](float x) { return std::fabs(x) == 1; });
    EXPECT_NEAR(clipped / 400.0, 0.5, 0.03) << "a trapezoid: clipped for half of each cycle";
}

TEST(VcoShapes, SawIsTheRampTimesTheAmplitude) {
    VCO v(0.5f, 1000.0f, wave_saw);
    const auto out = run(v, 300);
    const auto r = ramps(1000.0f, 300);
    for (int i = 0; i < 300; ++i) ASSERT_FLOAT_EQ(out[i], r[i] * 0.5f);
    VCO fastest(1.0f, 44100.0f, wave_saw); // a step of 2 wraps on the second call
    EXPECT_EQ(run(fastest, 3), (std::vector<float>{1.0f, -1.0f, 0.0f}));
}

TEST(VcoShapes, SquareSitsAtAQuarterOfTheAmplitude) {
    VCO v(1.0f, 300.0f, wave_square);
    const auto out = run(v, 44100);
    for (float x : out) ASSERT_TRUE(x == 0.25f || x == -0.25f) << x;
    EXPECT_NEAR(std::count(out.begin(), out.end(), 0.25f) / 44100.0, 0.5, 0.02);
    // Twice the ramp's rate, like the sine: the frequency is F.
    EXPECT_NEAR(test::crossing_frequency(out), 300.0, 3.0);
}

TEST(VcoShapes, PulseIsHighWhileThePhasedRampIsBelowTheWidth) {
    VCO v(0.6f, 441.0f, wave_pulse);
    v.phase = 0.2f;
    const auto out = run(v, 400);
    const auto r = ramps(441.0f, 400);
    for (int i = 0; i < 400; ++i) ASSERT_EQ(out[i], 0.2f + r[i] > 0.1f ? -0.6f : 0.6f) << i;
}

TEST(VcoShapes, NoisesStayInRangeAndAreSilentAtAmplitudeZero) {
    VCO white(1.0f, 4410.0f, wave_white_noise); // a cycle every 21 samples
    const auto out = run(white, 4000);
    const auto r = ramps(4410.0f, 4000);
    std::set<float> levels;
    for (int i = 1; i < 4000; ++i) {
        ASSERT_LE(std::fabs(out[i]), 1.0f);
        if (r[i] != -1.0f) {
            ASSERT_EQ(out[i], out[i - 1]) << "a new level only at a cycle start";
        }
        levels.insert(out[i]);
    }
    EXPECT_GT(levels.size(), 50u);

    VCO sign(1.0f, 100.0f, wave_random_sign);
    const auto s = run(sign, 20000);
    int flips = 0;
    for (int i = 1; i < 20000; ++i) {
        ASSERT_LE(std::fabs(s[i]), 1.0f);
        flips += s[i] == -s[i - 1] && s[i] != 0;
    }
    EXPECT_GT(flips, 5000) << "about every other sample changes sign";

    for (int wave : {wave_white_noise, wave_random_sign}) {
        VCO quiet(0.0f, 4410.0f, wave);
        for (float x : run(quiet, 500)) ASSERT_EQ(x, 0.0f) << wave;
    }
}

TEST(VcoShapes, AttractorsTakeTheirFirstStepsFromOneOneOne) {
    // Lorenz: dx = 0, dy = 27 - 1; step 220/44100; out = 0.05107 x.
    VCO lorenz(1.0f, 220.0f, wave_lorenz);
    lorenz.compute();
    EXPECT_FLOAT_EQ(lorenz.value, 0.05107f);
    lorenz.compute();
    const float step = 220.0f / 44100.0f;
    const float y1 = 1.0f + 26.0f * step;
    EXPECT_FLOAT_EQ(lorenz.value, 0.05107f * (1.0f + (y1 - 1.0f) * 10.0f * step));
    // Rossler: dx = -y - z = -2, step 2.91 * 220 / 44100, out = 0.05757 x.
    VCO rossler(0.5f, 220.0f, wave_rossler);
    rossler.compute();
    EXPECT_FLOAT_EQ(rossler.value, 0.5f * 0.05757f * (1.0f - 2.0f * 2.91f * 220.0f / 44100.0f));
}

TEST(VcoShapes, UnknownWaveformsAreSilent) {
    for (int wave : {0, 10, -3, 1000}) {
        VCO v(1.0f, 440.0f, wave);
        for (float x : run(v, 50)) ASSERT_EQ(x, 0.0f) << wave;
    }
}

TEST(VcoInputs, ModulationScalesAndReplacementReplaces) {
    hand_source m;
    VCO fm(1.0f, 441.0f, wave_saw);
    fm.mod_freq.connect(&m.value);
    m.set(1.0f); // F * 1 + F: twice the frequency
    EXPECT_FLOAT_EQ(run(fm, 3)[2], ramps(882.0f, 3)[2]);

    VCO am(0.25f, 441.0f, wave_saw);
    am.mod_amp.connect(&m.value);
    m.set(0.5f); // A * 0.5 + A
    EXPECT_FLOAT_EQ(run(am, 1)[0], ramps(441.0f, 1)[0] * 0.375f);

    VCO alt(1.0f, 441.0f, wave_saw);
    alt.alt_freq.connect(&m.value);
    m.set(4410.0f);
    EXPECT_FLOAT_EQ(run(alt, 1)[0], 0.1f);
    EXPECT_EQ(alt.freq.load(), 441.0f) << "the stored parameter is not changed";

    VCO amp(1.0f, 441.0f, wave_sine);
    amp.alt_amp.connect(&m.value);
    m.set(-0.5f); // a negative amplitude is not clamped: the sine inverts
    EXPECT_FLOAT_EQ(run(amp, 1)[0], float(-0.5 * std::sin(two_pi * 0.01f)));
    m.set(3.0f); // above 1 behaves as 1
    EXPECT_FLOAT_EQ(run(amp, 1)[0], float(std::sin(two_pi * 0.02f)));

    VCO pwm(1.0f, 441.0f, wave_pulse);
    pwm.alt_pwm.connect(&m.value);
    m.set(0.5f); // high while the ramp is at most 0.5
    const auto out = run(pwm, 60);
    EXPECT_EQ(out[49], 1.0f);
    EXPECT_EQ(out[50], -1.0f);
}

TEST(VcoInputs, InTracksAFrequencyScaledByFreqOver44) {
    hand_source key;
    key.set(440.0f);
    for (float tuning : {44.0f, 88.0f}) {
        SCOPED_TRACE(tuning);
        VCO tracked(1.0f, tuning, wave_sine);
        tracked.in.connect(&key.value);
        VCO plain(1.0f, 440.0f * tuning / 44.0f, wave_sine);
        EXPECT_EQ(run(tracked, 3000), run(plain, 3000));
    }
    // With ALT_FREQ connected too, the frequency is ALT_FREQ / 44.
    hand_source alt;
    alt.set(44.0f * 441.0f);
    VCO v(1.0f, 1000.0f, wave_saw);
    v.in.connect(&key.value);
    v.alt_freq.connect(&alt.value);
    EXPECT_FLOAT_EQ(run(v, 1)[0], 0.01f);
}

TEST(VcoInputs, SyncRestartsTheRampAtZeroNotMinusOne) {
    hand_source s;
    VCO v(1.0f, 4410.0f, wave_saw);
    v.sync_in.connect(&s.pulse);
    run(v, 7);
    s.pulse = 1;
    EXPECT_FLOAT_EQ(run(v, 1)[0], 0.1f) << "ramp 0, then one step";
    s.pulse = 0;
    EXPECT_FLOAT_EQ(run(v, 1)[0], 0.2f);
}

TEST(VcoInputs, PowerOffGivesExactlyZeroAndFreezesTheRamp) {
    hand_source m;
    m.set(5.0f);
    VCO v(1.0f, 441.0f, wave_saw);
    v.mod_amp.connect(&m.value);
    run(v, 10);
    v.power = 0;
    for (float x : run(v, 20)) ASSERT_EQ(x, 0.0f);
    v.power = 1;
    v.mod_amp.disconnect();
    EXPECT_FLOAT_EQ(run(v, 1)[0], ramps(441.0f, 11)[10]);
}

// A free-running oscillator works its values out once, when something is
// changed from outside; every change must still be heard from the next sample.
TEST(VcoInputs, ChangesFromOutsideTakeEffectOnTheNextSample) {
    VCO v(1.0f, 441.0f, wave_saw); // steps of 0.01
    run(v, 5);
    v.freq = 882.0f;
    EXPECT_FLOAT_EQ(run(v, 1)[0], 0.05f + 0.02f);
    v.amount = 0.5f;
    EXPECT_FLOAT_EQ(run(v, 1)[0], (0.07f + 0.02f) * 0.5f);
    hand_source m;
    m.set(1.0f);
    v.mod_freq.connect(&m.value); // twice the frequency again
    EXPECT_FLOAT_EQ(run(v, 1)[0], (0.09f + 0.04f) * 0.5f);
    v.mod_freq.disconnect();
    EXPECT_FLOAT_EQ(run(v, 1)[0], (0.13f + 0.02f) * 0.5f);
    v.power = 0;
    EXPECT_EQ(run(v, 1)[0], 0.0f);
    v.power = 1;
    v.type = wave_pulse; // 0.17 is above the width 0.1: low
    EXPECT_EQ(run(v, 1)[0], -0.5f);
}

// A free-running sine soon follows its recorded cycle; whatever stops that
// must find the ramp where the cycle had it.
TEST(VcoInputs, LeavingARecordedCycleKeepsTheRamp) {
    VCO v(1.0f, 441.0f, wave_sine);
    const auto r = ramps(441.0f, 1003);
    const auto sine = run(v, 1000);
    EXPECT_EQ(sine[999], float(std::sin(6.283185307179586 * r[999])));
    v.type = wave_saw;
    EXPECT_EQ(run(v, 1)[0], r[1000]);
    v.type = wave_sine;
    v.power = 0;
    run(v, 5); // frozen
    v.power = 1;
    EXPECT_EQ(run(v, 1)[0], float(std::sin(6.283185307179586 * r[1001])));
}

TEST(VcoInputs, ASineStaysExactAcrossParameterChangesAndSyncs) {
    // The recorded cycle must never serve a sample computed for other values.
    VCO v(1.0f, 441.0f, wave_sine);
    hand_source s;
    v.sync_in.connect(&s.pulse);
    float r = 0.0f;
    for (int i = 0; i < 3000; ++i) {
        const float f = i < 1000 || i >= 2000 ? 441.0f : 882.0f;
        if (v.freq.load() != f) v.freq = f;
        s.pulse = i % 777 == 0 ? 1 : 0;
        if (s.pulse) r = 0.0f;
        r = r + f / 44100.0f;
        if (r > 1.0f) r = -1.0f;
        v.compute();
        ASSERT_EQ(v.value.load(), float(std::sin(two_pi * r))) << i;
    }
}
