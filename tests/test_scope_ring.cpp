// The oscilloscope's values travel from the audio thread to the window's
// thread through a ring: every value the pump computed, in order, and a reader
// that falls behind loses the oldest values while the pump goes on.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "audio/audio_pump.hpp"
#include "engine/engine_state.hpp"
#include "engine/ports.hpp"
#include "modules/control.hpp"
#include "support/harness.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;

namespace {

// A patch that counts: ADD(1, itself) -> SOUND_OUTPUT, so the pump's value
// grows by exactly 1 every frame (exact in float up to 2^24).
struct counting_patch {
    GENERATOR g;
    counting_patch() {
        auto* one = static_cast<CONSTANTE*>(g.add_module(create_module(K::CONSTANTE)));
        one->constant = 1.0f;
        auto* add = static_cast<BASIC_OPERATION*>(g.add_module(create_module(K::BASIC_OPERATION)));
        add->in1.connect(&one->value);
        add->in2.connect(&add->value);
        static_cast<SOUND_OUTPUT*>(g.add_module(create_module(K::SOUND_OUTPUT)))
            ->in.connect(&add->value);
    }
};

struct scope_rig {
    int saved = audio_enabled;
    counting_patch p;
    audio_pump pump;
    std::vector<std::int16_t> buffer = std::vector<std::int16_t>(2 * 4096);
    scope_rig() {
        audio_enabled = 1;
        pump.generator_table[0] = &p.g;
        pump.scope_view = 1;
    }
    ~scope_rig() { audio_enabled = saved; }
    void render(int frames) { pump.callback(buffer.data(), frames * bytes_per_frame); }
    // Everything queued now.
    std::vector<float> take() {
        std::vector<float> all(scope_ring_frames);
        all.resize(static_cast<std::size_t>(pump.scope_values.pop(all.data(), scope_ring_frames)));
        return all;
    }
};

} // namespace

TEST(ScopeRing, ReaderGetsEveryFrameInOrder) {
    scope_rig r;
    r.render(100);
    r.render(37);
    const std::vector<float> v = r.take();
    ASSERT_EQ(v.size(), 137u);
    for (std::size_t i = 1; i < v.size(); ++i) ASSERT_EQ(v[i], v[i - 1] + 1.0f) << i;
    EXPECT_EQ(r.pump.scope_values.lost(), 0);
    EXPECT_EQ(r.pump.scope_block_frames.load(), 37);
}

TEST(ScopeRing, ReaderKeepsUpWhileThePumpPlaysOnItsThread) {
    scope_rig r;
    r.render(1);
    const float first = r.take().at(0) + 1.0f; // the next frame's value
    constexpr int buffers = 150;
    std::atomic<bool> done{false};
    std::thread audio([&] {
        for (int b = 0; b < buffers; ++b) r.render(4096);
        done = true;
    });
    // Read in small pieces; each value is its predecessor + 1, or jumps by
    // exactly the number counted as lost.
    float expect = first;
    long long got = 0;
    std::vector<float> piece(700);
    for (;;) {
        const bool finished = done;
        const long long lost_before = r.pump.scope_values.lost();
        const int n = r.pump.scope_values.pop(piece.data(), static_cast<int>(piece.size()));
        expect += static_cast<float>(r.pump.scope_values.lost() - lost_before);
        for (int i = 0; i < n; ++i, expect += 1.0f) ASSERT_EQ(piece[i], expect) << got + i;
        got += n;
        if (finished && n == 0) break;
        if (n == 0) std::this_thread::yield();
    }
    audio.join();
    EXPECT_EQ(got + r.pump.scope_values.lost(), 4096LL * buffers);
    EXPECT_EQ(expect, first + 4096.0f * buffers);
}

TEST(ScopeRing, SlowReaderLosesTheOldestAndNeverHoldsThePump) {
    scope_rig r;
    r.render(1);
    const float last_seen = r.take().at(0);
    // The reader does nothing while the pump plays far more than the ring
    // holds: the pump's thread still runs to its end.
    const int frames = 3 * scope_ring_frames + 123;
    std::thread audio([&] {
        for (int left = frames; left > 0; left -= 4096) r.render(left < 4096 ? left : 4096);
    });
    audio.join();
    const std::vector<float> v = r.take();
    // The newest capacity - 1 values remain (the slot being written is never
    // read), the oldest are counted as lost.
    ASSERT_EQ(v.size(), static_cast<std::size_t>(scope_ring_frames - 1));
    EXPECT_EQ(v.back(), last_seen + static_cast<float>(frames));
    EXPECT_EQ(v.front(), v.back() - static_cast<float>(scope_ring_frames - 2));
    EXPECT_EQ(r.pump.scope_values.lost(), frames - (scope_ring_frames - 1));
    // After the view is switched off nothing more is queued.
    r.pump.scope_view = 0;
    r.render(50);
    EXPECT_TRUE(r.take().empty());
}
