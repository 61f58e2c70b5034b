// SFX_DELAY (a delay of exactly the integer part of DELAY samples) and PHASER
// (six swept all-pass stages with feedback, mixed onto the dry signal).
#include <gtest/gtest.h>

#include "module_support.hpp"
#include "modules/delay_phaser.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {
// The delay's output when an impulse is fed on tick 0 (heap: the ring is 1.7 MB).
std::vector<float> impulse_through(float delay, int ticks) {
    auto d = std::make_unique<SFX_DELAY>();
    hand_source in;
    wire(d->in, in);
    d->set_delay(delay);
    std::vector<float> out;
    for (int i = 0; i < ticks; ++i) {
        in.set(i == 0 ? 1.0f : 0.0f);
        d->compute();
        out.push_back(d->value);
    }
    return out;
}

int first_nonzero(const std::vector<float>& v) {
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i] != 0.0f) return static_cast<int>(i);
    return -1;
}
} // namespace

TEST(SfxDelay, DelaysByTheIntegerPartOfDelaySamples) {
    struct row {
        float delay;
        int expected;
    } rows[] = {{0.5f, 0},         {0.0f, 0},          {1.0f, 1},        {100.7f, 100},
                {44100.0f, 44100}, {-22050.0f, 22050}, {441100.0f, 100}, {440999.0f, 440999},
                {1e30f, -2},       {std::nanf(""), 0}};
    for (const row& r : rows) {
        SCOPED_TRACE(r.delay);
        const auto out = impulse_through(r.delay, 441005);
        if (r.expected == -2) {
            // Absurd values wrap inside the ring: some delay, no wild write.
            EXPECT_GE(first_nonzero(out), 0);
            continue;
        }
        EXPECT_EQ(first_nonzero(out), r.expected);
        EXPECT_EQ(out[r.expected], 1.0f);
        for (std::size_t i = r.expected + 1; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
    }
}

TEST(SfxDelay, ModulationDoesNotAccumulateAndUnconnectedIsSilent) {
    auto d = std::make_unique<SFX_DELAY>();
    d->compute();
    EXPECT_EQ(d->value, 0.0f);
    hand_source in, alt, mod;
    wire(d->in, in);
    wire(d->delay_alt, alt);
    wire(d->delay_mod, mod);
    d->set_delay(10.0f);
    alt.set(40.0f);
    mod.set(0.5f); // 40 * 1.5 = 60 samples
    std::vector<float> out;
    for (int i = 0; i < 200; ++i) {
        in.set(i == 0 ? 1.0f : 0.0f);
        d->compute();
        out.push_back(d->value);
    }
    EXPECT_EQ(first_nonzero(out), 60);
    EXPECT_EQ(d->delay, 10.0f); // the stored delay is untouched
}

TEST(SfxDelay, ANonFiniteInputDoesNotStayInTheRing) {
    auto d = std::make_unique<SFX_DELAY>();
    hand_source in;
    wire(d->in, in);
    d->set_delay(5.0f);
    in.set(std::nanf(""));
    d->compute();
    in.set(0.5f);
    for (int i = 0; i < 20; ++i) {
        d->compute();
        ASSERT_TRUE(std::isfinite(d->value)) << i;
    }
}

namespace {
// The phaser recomputed here: LFO, six all-pass stages, feedback, dry + wet.
struct phaser_model {
    float lo, hi, inc, feedback, depth;
    float phase = 0, fb = 0, mem[6] = {};
    float operator()(float in) {
        const float d = lo + (hi - lo) * (std::sin(phase) + 1.0f) / 2.0f;
        phase += inc;
        if (phase >= 6.28318f) phase -= 6.28318f;
        const float a = (1.0f - d) / (1.0f + d);
        float x = in + fb * feedback;
        for (float& m : mem) {
            const float y = -a * x + m;
            m = y * a + x;
            x = y;
        }
        fb = x;
        return x * depth + in;
    }
};

float tone(int n) {
    return static_cast<float>(0.4 * std::sin(0.031 * n) + 0.2 * std::sin(0.29 * n));
}
} // namespace

TEST(Phaser, BypassedByDefault) {
    hand_source in;
    PHASER p;
    wire(p.in, in);
    for (int n = 0; n < 100; ++n) {
        in.set(tone(n));
        p.compute();
        ASSERT_EQ(p.value, tone(n));
    }
    p.in.disconnect();
    p.compute();
    EXPECT_EQ(p.value, 0.0f);
}

TEST(Phaser, MatchesTheAllPassChainAndDepthZeroIsDry) {
    hand_source in;
    PHASER p;
    wire(p.in, in);
    p.bypass = 0;
    p.set_range(300.0f, 3000.0f);
    p.set_rate(2.0f);
    p.feedback = 0.5f;
    p.depth = 0.8f;
    phaser_model m{300.0f / 22050, 3000.0f / 22050, 2.0f / 44100.0f * 6.28318f, 0.5f, 0.8f};
    for (int n = 0; n < 44100; ++n) {
        in.set(tone(n));
        p.compute();
        ASSERT_NEAR(p.value, m(tone(n)), 1e-4f) << n;
    }
    // Depth 0: the input unchanged while the stages go on running.
    p.depth = 0.0f;
    const float memory_before = p.feedback_memory;
    for (int n = 0; n < 100; ++n) {
        in.set(tone(n));
        p.compute();
        ASSERT_EQ(p.value, tone(n));
    }
    EXPECT_NE(p.feedback_memory, memory_before);
}

TEST(Phaser, RunawayFeedbackStartsAgainFromRest) {
    hand_source in;
    PHASER p;
    wire(p.in, in);
    p.bypass = 0;
    p.feedback = 5.0f; // unstable
    for (int n = 0; n < 20000; ++n) {
        in.set(tone(n));
        p.compute();
        ASSERT_TRUE(std::isfinite(p.value)) << n;
    }
    p.feedback = 0.7f;
    for (int n = 0; n < 4410; ++n) {
        in.set(tone(n));
        p.compute();
    }
    EXPECT_LT(std::fabs(p.value), 5.0f);
}
