// SFX_DELAY (a delay of exactly the integer part of DELAY samples) and PHASER
// (six swept all-pass stages with feedback, mixed onto the dry signal).
#include <gtest/gtest.h>

#include <limits>

#include "modules/delay_phaser.hpp"
#include "support/module_support.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

// Ticks the module on `input(n)` for n in [from, to).
template <class F>
std::vector<float> feed(OUTPUT& m, hand_source& in, int from, int to, F input) {
    std::vector<float> out;
    for (int n = from; n < to; ++n) {
        in.set(input(n));
        out.push_back(run(m, 1)[0]);
    }
    return out;
}

float impulse(int n) {
    return n == 0 ? 1.0f : 0.0f;
}
float tone(int n) {
    return static_cast<float>(0.4 * std::sin(0.031 * n) + 0.2 * std::sin(0.29 * n));
}

int first_nonzero(const std::vector<float>& v) {
    for (std::size_t i = 0; i < v.size(); ++i)
        if (v[i] != 0.0f) return static_cast<int>(i);
    return -1;
}

// A delay fed by a hand source (on the heap: the ring is 1.7 MB).
struct delay_rig {
    hand_source in;
    std::unique_ptr<SFX_DELAY> d = std::make_unique<SFX_DELAY>();
    explicit delay_rig(float delay) {
        wire(d->in, in);
        d->set_delay(delay);
    }
};

} // namespace

TEST(SfxDelay, DelaysByTheIntegerPartOfDelaySamples) {
    const std::pair<float, int> rows[] = {
        {0.5f, 0},         {0.0f, 0},          {1.0f, 1},        {100.7f, 100},
        {44100.0f, 44100}, {-22050.0f, 22050}, {441100.0f, 100}, {440999.0f, 440999},
        {1e30f, -2},       {std::nanf(""), 0}};
    for (const auto& [delay, expected] : rows) {
        SCOPED_TRACE(delay);
        delay_rig r(delay);
        const auto out = feed(*r.d, r.in, 0, 441005, impulse);
        if (expected == -2) { // absurd values wrap inside the ring: some delay, no wild write
            EXPECT_GE(first_nonzero(out), 0);
            continue;
        }
        EXPECT_EQ(first_nonzero(out), expected);
        EXPECT_EQ(out[expected], 1.0f);
        for (std::size_t i = expected + 1; i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f) << i;
    }
}

TEST(SfxDelay, ModulationDoesNotAccumulateUnconnectedIsSilentAndNonFiniteInputDoesNotStay) {
    auto silent = std::make_unique<SFX_DELAY>();
    EXPECT_EQ(run(*silent, 1)[0], 0.0f);

    delay_rig r(10.0f);
    hand_source alt, mod;
    wire(r.d->delay_alt, alt);
    wire(r.d->delay_mod, mod);
    alt.set(40.0f);
    mod.set(0.5f); // 40 * 1.5 = 60 samples
    EXPECT_EQ(first_nonzero(feed(*r.d, r.in, 0, 200, impulse)), 60);
    EXPECT_EQ(r.d->delay, 10.0f); // the stored delay is untouched

    delay_rig nan(5.0f);
    const auto out = feed(*nan.d, nan.in, 0, 21, [](int n) { return n ? 0.5f : std::nanf(""); });
    for (std::size_t i = 1; i < out.size(); ++i) ASSERT_TRUE(std::isfinite(out[i])) << i;
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

struct phaser_rig {
    hand_source in;
    PHASER p;
    phaser_rig() { wire(p.in, in); }
    std::vector<float> play(int n) { return feed(p, in, 0, n, tone); }
};
} // namespace

TEST(Phaser, BypassedByDefault) {
    phaser_rig r;
    const auto out = r.play(100);
    for (int n = 0; n < 100; ++n) ASSERT_EQ(out[n], tone(n));
    r.p.in.disconnect();
    EXPECT_EQ(run(r.p, 1)[0], 0.0f);
}

TEST(Phaser, MatchesTheAllPassChainAndDepthZeroIsDry) {
    phaser_rig r;
    r.p.bypass = 0;
    r.p.set_range(300.0f, 3000.0f);
    r.p.set_rate(2.0f);
    r.p.feedback = 0.5f;
    r.p.depth = 0.8f;
    phaser_model m{300.0f / 22050, 3000.0f / 22050, 2.0f / 44100.0f * 6.28318f, 0.5f, 0.8f};
    const auto out = r.play(44100);
    for (int n = 0; n < 44100; ++n) ASSERT_NEAR(out[n], m(tone(n)), 1e-4f) << n;
    // Depth 0: the input unchanged while the stages go on running.
    r.p.depth = 0.0f;
    const float memory_before = r.p.feedback_memory;
    const auto dry = r.play(100);
    for (int n = 0; n < 100; ++n) ASSERT_EQ(dry[n], tone(n));
    EXPECT_NE(r.p.feedback_memory, memory_before);
}

TEST(Phaser, RunawayFeedbackStartsAgainFromRest) {
    phaser_rig r;
    r.p.bypass = 0;
    r.p.feedback = 5.0f; // unstable
    for (float x : r.play(20000)) ASSERT_TRUE(std::isfinite(x));
    r.p.feedback = 0.7f;
    EXPECT_LT(std::fabs(r.play(4410).back()), 5.0f);
}

// Six all-passes pass every frequency at gain 1, so with feedback 0.7 and
// depth 1 the output is at most 1 + 1 / (1 - 0.7) times the input, wherever
// the corners are: a corner below 0 Hz, infinite or NaN is held where the
// stages stay stable.
TEST(Phaser, CornersBelowZeroOrNotFiniteKeepTheOutputBounded) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const std::pair<float, float> ranges[] = {
        {-5000.0f, 3000.0f}, {nan, 3000.0f}, {300.0f, inf}, {-inf, -100.0f}, {0.0f, 30000.0f}};
    for (const auto& [low, high] : ranges) {
        SCOPED_TRACE(::testing::Message() << low << " to " << high << " Hz");
        phaser_rig r;
        r.p.bypass = 0;
        r.p.set_range(low, high);
        r.p.set_rate(5.0f);
        const auto out = r.play(44100);
        std::vector<float> in;
        for (int n = 0; n < 44100; ++n) in.push_back(tone(n));
        for (float x : out) ASSERT_TRUE(std::isfinite(x));
        EXPECT_LE(rms(out), rms(in) * (1.0 + 1.0 / (1.0 - 0.7)));
    }
}
