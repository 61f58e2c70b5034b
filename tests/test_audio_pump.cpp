// The audio pump's callback contract, the sound system's block delivery, the
// output rate conversion, and the pump running on a real thread while the
// patch is replaced.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <thread>
#include <vector>

#include "diagnostics/alloc_tracker.hpp"
#include "engine/audio_pump.hpp"
#include "engine/capture.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/sound_resample.hpp"
#include "engine/sound_system.hpp"
#include "engine/startup.hpp"
#include "modules/control.hpp"
#include "modules/ports.hpp"
#include "patchfile/patch_reader.hpp"
#include "support/harness.hpp"

using namespace tmod;

namespace {

// A container whose value is a constant: CONSTANTE -> SOUND_OUTPUT.
struct constant_patch {
    GENERATOR g;
    CONSTANTE* c;
    explicit constant_patch(float v) {
        c = static_cast<CONSTANTE*>(g.add_module(create_module(module_kind::CONSTANTE)));
        auto* out =
            static_cast<SOUND_OUTPUT*>(g.add_module(create_module(module_kind::SOUND_OUTPUT)));
        out->in.connect(&c->value);
        c->constant = v;
        for (int i = 0; i < 2; ++i) g.compute(); // settle the one-sample delay
    }
};

// MICRO -> SOUND_OUTPUT: the patch's value is |input sample / 32767|.
struct micro_patch {
    GENERATOR g;
    explicit micro_patch() {
        auto* m = g.add_module(create_module(module_kind::MICRO));
        auto* out =
            static_cast<SOUND_OUTPUT*>(g.add_module(create_module(module_kind::SOUND_OUTPUT)));
        out->in.connect(&m->value);
    }
};

// Rendering on for a test, as the start-up leaves it; restored afterwards.
struct rendering {
    int saved = audio_enabled;
    explicit rendering(int on) { audio_enabled = on; }
    ~rendering() {
        audio_enabled = saved;
        current_input_sample = 0;
    }
};

std::vector<std::int16_t> frames_of(int n, std::int16_t fill) {
    return std::vector<std::int16_t>(2 * static_cast<std::size_t>(n), fill);
}

// Stereo frames whose left samples are `left` and right samples their negation.
std::vector<std::int16_t> stereo(const std::vector<int>& left) {
    std::vector<std::int16_t> s;
    for (int v : left) {
        s.push_back(static_cast<std::int16_t>(v));
        s.push_back(static_cast<std::int16_t>(-v));
    }
    return s;
}

} // namespace

TEST(AudioPump, RenderingOffLeavesTheBufferUntouched) {
    rendering off(0);
    constant_patch p(1.0f);
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    auto buffer = frames_of(64, 0x5a5a);
    EXPECT_TRUE(pump.callback(buffer.data(), 64 * 4));
    for (std::int16_t s : buffer) ASSERT_EQ(s, 0x5a5a);
}

TEST(AudioPump, ContainerValuesBecomeSixteenBitSamplesOnBothChannels) {
    rendering on(1);
    // Full scale is +-2.5: out = trunc(v * 32767 / 2.5), saturated beyond it.
    const struct {
        float value;
        int sample;
    } cases[] = {
        {1.0f, 13106},   // 13106.8
        {-1.0f, -13106}, // toward zero
        {0.5f, 6553},    // 6553.4
        {2.5f, 32767},   {3.0f, 32767}, {-3.0f, -32768},  {-2.6f, -32768},
        {0.0f, 0},       {1e-5f, 0},    {1000.0f, 32767},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        constant_patch p(c.value);
        audio_pump pump;
        pump.generator_table[0] = &p.g;
        auto buffer = frames_of(32, 0x1234);
        ASSERT_TRUE(pump.callback(buffer.data(), 32 * 4));
        for (int f = 0; f < 32; ++f) {
            ASSERT_EQ(buffer[2 * f], c.sample) << "frame " << f;
            ASSERT_EQ(buffer[2 * f + 1], c.sample) << "frame " << f;
        }
    }
    // A value that is not finite is silence, not noise.
    constant_patch p(NAN);
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    auto buffer = frames_of(8, 0x1234);
    pump.callback(buffer.data(), 8 * 4);
    for (std::int16_t s : buffer) ASSERT_EQ(s, 0);
}

TEST(AudioPump, ALengthThatIsNotWholeFramesFillsOnlyTheWholeFrames) {
    rendering on(1);
    constant_patch p(1.0f);
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    auto buffer = frames_of(4, 0x7777);
    pump.callback(buffer.data(), 3 * 4 + 3); // three frames and three stray bytes
    for (int f = 0; f < 3; ++f) EXPECT_EQ(buffer[2 * f], 13106);
    EXPECT_EQ(buffer[6], 0x7777);
    EXPECT_EQ(buffer[7], 0x7777);
}

TEST(AudioPump, EmptySlotRendersZerosWithoutReadingTheRecording) {
    rendering on(1);
    record_buffer rec(1000);
    const auto input = stereo({101, 202, 303, 404});
    rec.write(input.data(), 4);
    capture ring(rec, 100);
    audio_pump pump;
    pump.input = &ring;
    auto buffer = frames_of(16, 0x2222);
    ASSERT_TRUE(pump.callback(buffer.data(), 16 * 4));
    for (std::int16_t s : buffer) ASSERT_EQ(s, 0);
    EXPECT_EQ(ring.reads(), 0);
    EXPECT_EQ(ring.write_index(), 0);
    EXPECT_EQ(ring.last_position(), 0);
}

TEST(AudioPump, MicroHearsTheRecordedFramesOneFrameLate) {
    rendering on(1);
    micro_patch p;
    record_buffer rec(1000);
    capture ring(rec, 500);
    audio_pump pump;
    pump.input = &ring;
    pump.generator_table[0] = &p.g;

    // Samples whose |x| / 2.5 lies well away from an integer, so truncation is
    // unambiguous: x mod 5 is never 0.
    std::vector<int> left;
    for (int i = 0; i < 40; ++i) left.push_back((i % 2 ? -1 : 1) * (1001 + 800 * i));
    const auto recorded = stereo(left);
    rec.write(recorded.data(), 40);

    auto buffer = frames_of(40, 0);
    pump.callback(buffer.data(), 40 * 4);
    // MICRO gives |x / 32767| and the pump x * 32767 / 2.5: the sample is
    // trunc(|x| / 2.5). The tick comes before the publication, so frame f
    // hears recorded frame f - 1 (frame 0 the sample published before).
    EXPECT_EQ(buffer[0], 0);
    for (int f = 1; f < 40; ++f) {
        const int expected = static_cast<int>(std::abs(left[f - 1]) / 2.5);
        ASSERT_EQ(buffer[2 * f], expected) << "frame " << f;
    }
    EXPECT_EQ(current_input_sample.load(), left[39]);
    EXPECT_EQ(ring.reads(), 1);

    // The next buffer reads from where the new frames landed in the ring.
    const auto more = stereo({-32767, 7, 12346});
    rec.write(more.data(), 3);
    auto next = frames_of(3, 0);
    pump.callback(next.data(), 3 * 4);
    EXPECT_EQ(next[0], static_cast<int>(std::abs(left[39]) / 2.5));
    EXPECT_EQ(next[2], 13106); // 32767 / 2.5
    EXPECT_EQ(next[4], 2);     // 7 / 2.5
    EXPECT_EQ(current_input_sample.load(), 12346);
    EXPECT_EQ(ring.write_index(), 43);
}

TEST(AudioPump, APatchWithoutMicroNeverReadsTheRecordingButPublishesTheRingFromZero) {
    rendering on(1);
    record_buffer rec(1000);
    capture ring(rec, 500);
    audio_pump pump;
    pump.input = &ring;
    {
        // Fill the ring's first frames through a MICRO patch.
        micro_patch p;
        pump.generator_table[0] = &p.g;
        const auto first = stereo({11, 22, 33, 44, 55, 66, 77, 88});
        rec.write(first.data(), 8);
        auto buffer = frames_of(8, 0);
        pump.callback(buffer.data(), 8 * 4);
        ASSERT_EQ(ring.reads(), 1);
    }
    constant_patch p(0.25f);
    pump.generator_table[0] = &p.g;
    const auto later = stereo({-5, -6, -7});
    rec.write(later.data(), 3);
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE(n);
        auto buffer = frames_of(n, 0);
        pump.callback(buffer.data(), n * 4);
        // The last frame published ring frame n - 1 of the first recording.
        EXPECT_EQ(current_input_sample.load(), 11 * n);
        EXPECT_EQ(buffer[0], 3276); // 0.25 * 32767 / 2.5 = 3276.7
    }
    EXPECT_EQ(ring.reads(), 1);
    EXPECT_EQ(ring.last_position(), 8);
}

TEST(AudioPump, WithoutARingTheInputSampleIsZero) {
    rendering on(1);
    micro_patch p;
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    current_input_sample = 1234;
    auto buffer = frames_of(4, 0x1111);
    pump.callback(buffer.data(), 4 * 4);
    EXPECT_EQ(current_input_sample.load(), 0);
    EXPECT_EQ(buffer[2], 0);
}

TEST(AudioPump, ScopeSeamSeesEveryFrameOnlyWhileTheViewIsOn) {
    rendering on(1);
    constant_patch p(0.75f);
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    struct seen {
        int calls = 0;
        float last = 0;
        int frames = 0;
    } s;
    pump.scope_user = &s;
    pump.scope_frame = [](void* user, float sum, int frames) {
        auto* x = static_cast<seen*>(user);
        ++x->calls;
        x->last = sum;
        x->frames = frames;
    };
    auto buffer = frames_of(10, 0);
    pump.callback(buffer.data(), 40);
    EXPECT_EQ(s.calls, 0);
    pump.scope_view = 1;
    pump.callback(buffer.data(), 40);
    EXPECT_EQ(s.calls, 10);
    EXPECT_FLOAT_EQ(s.last, 0.75f);
    EXPECT_EQ(s.frames, 10);
}

TEST(AudioPumpLock, ABufferThatCannotTakeThePatchLockIsSilence) {
    rendering on(1);
    constant_patch p(1.0f);
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    std::mutex m;
    std::condition_variable cv;
    bool held = false, release = false;
    std::thread editor([&] {
        std::lock_guard<patch_lock> patch(patch_mutex());
        std::unique_lock<std::mutex> l(m);
        held = true;
        cv.notify_all();
        cv.wait(l, [&] { return release; });
    });
    {
        std::unique_lock<std::mutex> l(m);
        cv.wait(l, [&] { return held; });
    }
    auto buffer = frames_of(16, 0x3333);
    pump.callback(buffer.data(), 16 * 4);
    for (std::int16_t s : buffer) EXPECT_EQ(s, 0);
    {
        std::lock_guard<std::mutex> l(m);
        release = true;
    }
    cv.notify_all();
    editor.join();
    pump.callback(buffer.data(), 16 * 4);
    EXPECT_EQ(buffer[0], 13106);
}

namespace {
// A backend with no thread: the test drives render() itself.
struct manual_backend : sound_backend {
    int driver_count() override { return 1; }
    std::string driver_name(int) override { return "manual"; }
    int record_driver_count() override { return 0; }
    std::string record_driver_name(int) override { return ""; }
    int open_output(sound_system&, int, int block, stream_info& info) override {
        info.block_frames = block;
        return sound_ok;
    }
    int start_output() override { return sound_ok; }
    void close_output() override {}
    int open_input(int, record_buffer&) override { return sound_record_unsupported; }
    void close_input() override {}
};
} // namespace

TEST(SoundSystem, BlocksAreZeroedBeforeThePumpSoADeviceNeverPlaysStaleData) {
    rendering off(0);
    constant_patch p(1.0f);
    audio_pump pump;
    pump.generator_table[0] = &p.g;
    sound_system sound;
    sound.backend_factory = [](output_kind) { return std::make_unique<manual_backend>(); };
    ASSERT_TRUE(sound.set_output(output_kind::nosound));
    ASSERT_TRUE(sound.init());
    ASSERT_TRUE(sound.stream_create(&audio_pump::stream_callback, &pump, stream_buffer_bytes, 0));
    EXPECT_EQ(sound.stream().block_frames, 4096);
    frame_fifo tap(100);
    sound.set_output_tap(&tap);

    auto block = frames_of(32, 0x4444);
    sound.render(block.data(), 32);
    for (std::int16_t s : block) ASSERT_EQ(s, 0);
    audio_enabled = 1;
    sound.render(block.data(), 32);
    EXPECT_EQ(block[0], 13106);
    EXPECT_EQ(sound.frames_played(), 64);

    // The tap got both blocks, in order.
    auto played = frames_of(64, 0);
    EXPECT_EQ(tap.pop(played.data(), 64), 64);
    EXPECT_EQ(played[0], 0);
    EXPECT_EQ(played[2 * 32], 13106);
}

TEST(SoundSystem, CallsOutOfOrderFailWithTheirErrorCodes) {
    sound_system sound;
    sound.backend_factory = [](output_kind) { return std::make_unique<manual_backend>(); };
    audio_pump pump;
    EXPECT_FALSE(sound.stream_create(&audio_pump::stream_callback, &pump, stream_buffer_bytes, 0));
    EXPECT_EQ(sound.error(), sound_not_initialised);
    EXPECT_STREQ(sound_error_text(sound.error()),
                 "This command failed because FSOUND_Init was not called");
    ASSERT_TRUE(sound.set_output(output_kind::nosound));
    EXPECT_FALSE(sound.set_driver(1));
    EXPECT_EQ(sound.error(), sound_invalid_parameter);
    ASSERT_TRUE(sound.init());
    EXPECT_FALSE(sound.set_output(output_kind::jack));
    EXPECT_STREQ(sound_error_text(sound.error()),
                 "Cannot call this command after FSOUND_Init.  Call FSOUND_Close first.");
    EXPECT_FALSE(sound.record_start(1000)); // no recording device
    EXPECT_STREQ(sound_error_text(sound.error()), "Recording not supported on this device");
    EXPECT_STREQ(sound_error_text(12), "Not enough memory ");
    EXPECT_STREQ(sound_error_text(19), "Unknown error");
    EXPECT_STREQ(sound_error_text(-1), "Unknown error");
    sound.close();
    EXPECT_TRUE(sound.set_output(output_kind::jack)); // closed: set-up is allowed again
}

TEST(OutputResampler, ADeviceAtAnotherRateKeepsThePitchAndTheLevel) {
    // The engine side: a 1 kHz sine at 44 100 Hz, amplitude 16000.
    struct source_state {
        long long n = 0;
    } st;
    auto source = [](void* user, std::int16_t* out, int frames) {
        auto* s = static_cast<source_state*>(user);
        for (int i = 0; i < frames; ++i, ++s->n) {
            const auto v = static_cast<std::int16_t>(
                std::lrint(16000.0 * std::sin(2 * M_PI * 1000.0 * s->n / 44100.0)));
            out[2 * i] = out[2 * i + 1] = v;
        }
    };
    for (int rate : {48000, 32000, 96000}) {
        SCOPED_TRACE(rate);
        st.n = 0;
        output_resampler r;
        ASSERT_TRUE(r.open(rate, 256, source, &st));
        std::vector<std::int16_t> out(2 * static_cast<std::size_t>(rate)); // one second
        for (int done = 0; done < rate; done += 500)
            r.pull(out.data() + 2 * done, std::min(500, rate - done));
        std::vector<float> left;
        for (int i = rate / 10; i < rate; ++i)
            left.push_back(out[2 * static_cast<std::size_t>(i)] / 16000.0f);
        EXPECT_NEAR(test::crossing_frequency(left, rate), 1000.0, 5.0);
        EXPECT_NEAR(test::rms(left), 1.0 / std::sqrt(2.0), 0.02);
        // About one second of engine frames went in for one second out.
        EXPECT_NEAR(static_cast<double>(st.n), 44100.0, 1500.0);
    }
}

TEST(FloatSamples, ConversionSaturatesAndRoundTrips) {
    EXPECT_EQ(float_to_sample(2.0f), 32767);
    EXPECT_EQ(float_to_sample(-2.0f), -32768);
    EXPECT_EQ(float_to_sample(NAN), 0);
    for (int s : {-32768, -1, 0, 1, 12345, 32767})
        EXPECT_EQ(float_to_sample(sample_to_float(static_cast<std::int16_t>(s))), s);
}

// The pump on the nosound backend's thread while the main thread replaces the
// patch and finally shuts down: run under ThreadSanitizer.
TEST(AudioPumpThreads, PatchLoadsAndShutdownWhileTheStreamRuns) {
    const std::string dir = test::scratch_dir("AudioPumpThreads");
    const std::string a = dir + "/a.tsy", b = dir + "/b.tsy";
    test::write_text(
        a, "BEGIN_OBJECTS_DECLARE\nVCO_1;TYPE=1;FREQ=440.000000;AMOUNT=1.00;PHASE=0;\n"
           "SOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\nBEGIN_LINKS_DECLARE\nSOUND_OUTPUT_1;IN=VCO_1;\n"
           "END_LINKS_DECLARE\n");
    test::write_text(b, "BEGIN_OBJECTS_DECLARE\nMICRO_1;;\nSOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\n"
                        "BEGIN_LINKS_DECLARE\nSOUND_OUTPUT_1;IN=MICRO_1;\nEND_LINKS_DECLARE\n");
    engine_session s;
    frame_fifo tap(1 << 20);
    s.sound.set_output_tap(&tap);
    ASSERT_TRUE(s.sound.set_output(output_kind::nosound));
    ASSERT_TRUE(s.sound.init());
    s.current.reset(TM_NEW(GENERATOR, a.c_str()));
    pump_settings settings;
    settings.buffer_frames = 64; // many small blocks
    int status = 0;
    ASSERT_TRUE(pump_start(s.pump, s.sound, s.ring, settings, status));
    engine_play_current(s);
    for (int i = 0; i < 20; ++i) {
        const long long before = s.sound.frames_played();
        ASSERT_NE(load_patch(*s.current, i % 2 ? a.c_str() : b.c_str()), load_failed);
        // Wait for the audio thread to go round a few times (no time limit asserted).
        for (int spin = 0; spin < 20000 && s.sound.frames_played() < before + 256; ++spin)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    EXPECT_GE(s.sound.frames_played(), 20 * 256);
    engine_shutdown(s);
    // The sine patch was heard between the loads.
    std::vector<std::int16_t> played(2 << 20);
    const int n = tap.pop(played.data(), 1 << 20);
    int loud = 0;
    for (int i = 0; i < n; ++i) loud += std::abs(played[2 * static_cast<std::size_t>(i)]) > 10000;
    EXPECT_GT(loud, 0);
    EXPECT_EQ(s.current, nullptr);
    EXPECT_EQ(s.pump.generator_table[0].load(), nullptr);
    EXPECT_FALSE(s.sound.initialised());
}
