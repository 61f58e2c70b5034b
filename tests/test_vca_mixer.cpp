// VCA envelope stages and their quirks, and the MIXER's scaling by the number
// of active channels.
#include <gtest/gtest.h>

#include "modules/vca_mixer.hpp"
#include "support/module_support.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

constexpr float dt = 2.2675737e-05f; // one sample in seconds, as the envelope counts

// A VCA on a constant input with its gate wired to `key`.
struct vca_rig {
    hand_source input, key;
    VCA vca;
    explicit vca_rig(float in = 1.0f, float attack = 10.0f) {
        input.set(in);
        wire(vca.in, input);
        wire_gate(vca.gate_in, key);
        vca.attack = attack;
    }
    float tick() { return run(vca, 1)[0]; }
};

} // namespace

TEST(VcaEnvelope, AttackDecayToSustainThenHold) {
    vca_rig r; // attack 10 ms: 441 samples
    r.vca.decay = 10.0f;
    r.vca.sustain = 0.5f;
    r.key.trigger();
    // Attack: i / 441 on sample i, by the gate time counted in float seconds.
    float t = 0.0f;
    int attack_samples = 0;
    for (; t * 1000.0f < 10.0f; ++attack_samples, t += dt) {
        const float expected = t * 1000.0f / 10.0f;
        ASSERT_NEAR(r.tick(), expected, 1e-6f) << attack_samples;
        ASSERT_NEAR(expected, attack_samples / 441.0f, 1e-4f) << attack_samples;
    }
    EXPECT_EQ(attack_samples, 441);
    // Decay with a sustain: a thousandth of the previous value less per sample.
    float previous = 440.0f / 441.0f;
    int decay_samples = 0;
    for (; previous > 0.5f; ++decay_samples) {
        const float got = r.tick();
        ASSERT_NEAR(got, previous - previous / 1000.0f, 1e-5f) << decay_samples;
        previous = got;
    }
    EXPECT_NEAR(decay_samples, 690, 2); // ln(0.5 / (440/441)) / ln(0.999)
    for (int i = 0; i < 5000; ++i) ASSERT_FLOAT_EQ(r.tick(), 0.5f); // peak * sustain
}

TEST(VcaEnvelope, WithoutSustainTheLinearFallStopsJustAboveZero) {
    vca_rig r;
    r.vca.decay = 20.0f; // 882 samples
    r.vca.sustain = 0.0f;
    r.key.trigger();
    run(r.vca, 441);
    float last = r.tick();
    EXPECT_NEAR(last, 1.0f, 2e-3f);
    int fall = 1;
    for (float v = r.tick(); v != last; v = r.tick(), ++fall) { // until no stage moves it
        ASSERT_LT(v, last);
        last = v;
    }
    EXPECT_NEAR(fall, 882, 2);
    EXPECT_GT(last, 0.0f);
    EXPECT_LT(last, 2e-3f);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(r.tick(), last);
}

TEST(VcaEnvelope, ReleaseStartsFromTheLastOpenLevel) {
    vca_rig r(1.0f, 100.0f); // 4410 samples: the gate closes in the middle of it
    r.vca.release = 10.0f;   // 441 samples
    r.key.trigger();
    const float level = run(r.vca, 1000).back();
    EXPECT_NEAR(level, 999.0f / 4410.0f, 1e-4f);
    r.key.release();
    float rt = 0.0f;
    for (int i = 0; i < 441; ++i) {
        rt += dt;
        ASSERT_NEAR(r.tick(), level - rt * 1000.0f * level / 10.0f, 1e-6f) << i;
    }
    // After the release time the value no longer moves.
    const float end = r.tick();
    EXPECT_NEAR(end, 0.0f, 1e-3f);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(r.tick(), end);
    // Opening again restarts the attack from zero.
    r.key.trigger();
    EXPECT_EQ(r.tick(), 0.0f);
    EXPECT_NEAR(r.tick(), 1.0f / 4410.0f, 1e-6f);
}

TEST(VcaEnvelope, ReleaseZeroKeepsTheLastValueTimesTheInput) {
    vca_rig r(0.5f);
    r.vca.release = 0.0f;
    r.key.trigger();
    float v = run(r.vca, 200).back();
    EXPECT_NEAR(v, 0.5f * 199.0f / 441.0f, 1e-5f);
    r.key.release();
    // The previous output is multiplied by IN again on every sample.
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(r.tick(), v *= 0.5f);
}

TEST(VcaEnvelope, InvertTurnsAnEnvelopeBelowOneIntoOneAndOddParametersStayFinite) {
    vca_rig inv(0.3f);
    inv.vca.invert = 1;
    inv.key.trigger();
    for (int i = 0; i < 100; ++i) ASSERT_FLOAT_EQ(inv.tick(), 0.3f);

    for (float p : {0.0f, -5.0f, 1e30f, std::nanf("")}) {
        SCOPED_TRACE(p);
        vca_rig r(1.0f, p);
        r.vca.decay = r.vca.sustain = r.vca.release = p;
        r.key.trigger();
        for (int i = 0; i < 2000; ++i) ASSERT_TRUE(std::isfinite(r.tick()));
        r.key.release();
        for (int i = 0; i < 2000; ++i) ASSERT_TRUE(std::isfinite(r.tick()));
    }
}

TEST(VcaBypass, WithoutAGateTheOutputIsOneWhateverTheInputAndWithoutInputNothingMoves) {
    hand_source input;
    VCA vca;
    wire(vca.in, input);
    for (float x : {0.0f, -0.7f, 3.0f}) {
        input.set(x);
        vca.compute();
        EXPECT_EQ(vca.value, 1.0f);
        EXPECT_EQ(vca.bypass, 1);
    }
    // A bypass written from outside lasts only until the next sample.
    hand_source key;
    wire_gate(vca.gate_in, key);
    vca.bypass = 1;
    vca.release = 0.0f;
    input.set(0.5f);
    vca.compute();
    EXPECT_EQ(vca.bypass, 0);
    EXPECT_EQ(vca.value, 0.5f); // gate closed, no release: the previous value times IN

    VCA no_input;
    wire_gate(no_input.gate_in, key);
    no_input.value = 0.25f;
    key.trigger();
    EXPECT_EQ(no_input.compute(), 0);
    EXPECT_EQ(no_input.value, 0.25f);
}

TEST(Mixer, ScalesByTheNumberOfActiveChannels) {
    hand_source a, b, c;
    a.set(0.4f);
    b.set(-0.2f);
    c.set(0.8f);
    MIXER mix;
    EXPECT_EQ(run(mix, 1)[0], 0.0f); // no channel
    ASSERT_TRUE(mix.add_channel(&a.value));
    EXPECT_FLOAT_EQ(run(mix, 1)[0], 0.4f); // one channel passes unchanged
    ASSERT_TRUE(mix.add_channel(&b.value));
    EXPECT_FLOAT_EQ(run(mix, 1)[0], (0.4f - 0.2f) * 0.75f); // x / 2 * 1.5
    ASSERT_TRUE(mix.add_channel(&c.value));
    mix.volumes[2] = 0.5f;
    EXPECT_FLOAT_EQ(run(mix, 1)[0], (0.4f - 0.2f + 0.8f * 0.5f) / 3.0f * 1.5f);
    // A bypassed channel does not count; only exactly 1.0 bypasses.
    mix.bypasses[1] = 1.0f;
    EXPECT_FLOAT_EQ(run(mix, 1)[0], (0.4f + 0.4f) / 2.0f * 1.5f);
    mix.bypasses[1] = 0.5f;
    EXPECT_FLOAT_EQ(run(mix, 1)[0], (0.4f - 0.2f + 0.4f) / 3.0f * 1.5f);
    mix.power = 0;
    EXPECT_EQ(run(mix, 1)[0], 0.0f);
}

TEST(Mixer, TwentyFourChannelsAndNoMoreAndAChannelAtAGivenIndex) {
    hand_source s;
    s.set(1.0f);
    MIXER mix;
    for (int i = 0; i < MIXER::max_channels; ++i) ASSERT_TRUE(mix.add_channel(&s.value)) << i;
    EXPECT_FALSE(mix.add_channel(&s.value));
    EXPECT_TRUE(mix.add_channel(&s.value, 3)); // plugging a used channel again is no new channel
    EXPECT_EQ(mix.channel_count, 24);
    EXPECT_FLOAT_EQ(run(mix, 1)[0], 1.5f); // 24 * (1 / 24) * 1.5, no clamp
    mix.channel_count = 1000; // a count written beyond the slots is not read beyond them
    EXPECT_FLOAT_EQ(run(mix, 1)[0], 1.5f);

    s.set(0.6f);
    MIXER at;
    EXPECT_FALSE(at.add_channel(&s.value, -5));
    EXPECT_FALSE(at.add_channel(&s.value, 24));
    // A channel plugged at an index is read: the count reaches past it.
    ASSERT_TRUE(at.add_channel(&s.value, 2));
    EXPECT_EQ(at.channel_count, 3);
    EXPECT_FLOAT_EQ(run(at, 1)[0], 0.6f); // one active channel: no 1.5 factor
    ASSERT_TRUE(at.add_channel(&s.value, 0));
    EXPECT_EQ(at.channel_count, 3);
    EXPECT_FLOAT_EQ(run(at, 1)[0], (0.6f / 2 + 0.6f / 2) * 1.5f);
    ASSERT_TRUE(at.add_channel(&s.value)); // appended at the count: channel 3
    EXPECT_EQ(at.channel_count, 4);
    EXPECT_FLOAT_EQ(run(at, 1)[0], (0.6f / 3 + 0.6f / 3 + 0.6f / 3) * 1.5f);
}
