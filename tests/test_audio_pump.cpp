// The audio pump's callback contract, the sound system's block delivery, the
// output rate conversion, the pump running on a real thread while the
// patch is replaced, and the recording's own writing thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <thread>

#include "app/startup.hpp"
#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/record_drain.hpp"
#include "audio/sound_resample.hpp"
#include "engine/engine_state.hpp"
#include "engine/ports.hpp"
#include "modules/control.hpp"
#include "patchfile/patch_reader.hpp"
#include "support/sound_support.hpp"
#include "util/alloc_tracker.hpp"

using namespace tmod;
using namespace tmod::test;
using K = module_kind;

namespace {

// A container whose value is a constant (CONSTANTE -> SOUND_OUTPUT), or the
// input MICRO hears (MICRO -> SOUND_OUTPUT: |input sample / 32767|).
struct patch {
    GENERATOR g;
    explicit patch(float constant, K source_kind = K::CONSTANTE) {
        OUTPUT* source = g.add_module(create_module(source_kind));
        if (source_kind == K::CONSTANTE) static_cast<CONSTANTE*>(source)->constant = constant;
        static_cast<SOUND_OUTPUT*>(g.add_module(create_module(K::SOUND_OUTPUT)))
            ->in.connect(&source->value);
        run(g, 2); // settle the one-sample delay
    }
};
struct micro_patch : patch {
    micro_patch() : patch(0, K::MICRO) {}
};

// A pump with rendering on or off for the test (restored afterwards).
struct pump_rig {
    int saved = audio_enabled;
    audio_pump pump;
    explicit pump_rig(GENERATOR* g, int rendering = 1, capture* input = nullptr) {
        audio_enabled = rendering;
        pump.generator_table[0] = g;
        pump.input = input;
    }
    ~pump_rig() {
        audio_enabled = saved;
        current_input_sample = 0;
    }
    // One callback over `frames` frames of a buffer filled with `fill`.
    std::vector<std::int16_t> render(int frames, std::int16_t fill = 0, int bytes = -1) {
        std::vector<std::int16_t> buffer(2 * static_cast<std::size_t>(frames), fill);
        EXPECT_TRUE(pump.callback(buffer.data(), bytes < 0 ? frames * 4 : bytes));
        return buffer;
    }
};

} // namespace

TEST(AudioPump, RenderingOffLeavesTheBufferUntouched) {
    patch p(1.0f);
    pump_rig r(&p.g, 0);
    EXPECT_EQ(r.render(64, 0x5a5a), std::vector<std::int16_t>(128, 0x5a5a));
}

TEST(AudioPump, ContainerValuesBecomeSixteenBitSamplesOnBothChannels) {
    // Full scale is +-2.5: out = trunc(v * 32767 / 2.5), saturated beyond it.
    const std::pair<float, int> cases[] = {
        {1.0f, 13106},   {-1.0f, -13106}, {0.5f, 6553}, {2.5f, 32767}, {3.0f, 32767},
        {-3.0f, -32768}, {-2.6f, -32768}, {0.0f, 0},    {1e-5f, 0},    {1000.0f, 32767},
        {NAN, 0},        {INFINITY, 0}, // a value that is not finite is silence, not noise
    };
    for (const auto& [value, sample] : cases) {
        SCOPED_TRACE(value);
        patch p(value);
        pump_rig r(&p.g);
        EXPECT_EQ(r.render(32, 0x1234), std::vector<std::int16_t>(64, sample));
    }
    // A length that is not whole frames fills only the whole frames.
    patch p(1.0f);
    pump_rig r(&p.g);
    const auto buffer = r.render(4, 0x7777, 3 * 4 + 3);
    EXPECT_EQ(buffer, (std::vector<std::int16_t>{13106, 13106, 13106, 13106, 13106, 13106, 0x7777,
                                                 0x7777}));
}

// A value too small for a normal float (a filter's tail) is flushed to zero
// while the pump computes, and the thread's own mode is left as it was.
TEST(AudioPump, DenormalsAreFlushedWhileThePatchIsComputed) {
    GENERATOR g;
    auto* a = static_cast<CONSTANTE*>(g.add_module(create_module(K::CONSTANTE)));
    auto* b = static_cast<CONSTANTE*>(g.add_module(create_module(K::CONSTANTE)));
    a->constant = 1e-30f;
    b->constant = 1e-15f;
    auto* product = static_cast<BASIC_OPERATION*>(g.add_module(create_module(K::BASIC_OPERATION)));
    product->type = op_multiplication;
    product->in2.connect(&a->value);
    product->in1.connect(&b->value);
    static_cast<SOUND_OUTPUT*>(g.add_module(create_module(K::SOUND_OUTPUT)))
        ->in.connect(&product->value);

    run(g, 3);
    EXPECT_GT(product->value.load(), 0.0f) << "1e-45 is a denormal, not zero, outside the pump";
    pump_rig rig(&g);
    rig.render(8);
    EXPECT_EQ(product->value.load(), 0.0f);
    run(g, 1);
    EXPECT_GT(product->value.load(), 0.0f);
}

TEST(AudioPump, EmptySlotRendersZerosWithoutReadingTheRecording) {
    record_buffer rec(1000);
    rec.write(stereo({101, 202, 303, 404}).data(), 4);
    capture ring(rec, 100);
    pump_rig r(nullptr, 1, &ring);
    EXPECT_EQ(r.render(16, 0x2222), std::vector<std::int16_t>(32, 0));
    EXPECT_EQ(ring.reads(), 0);
    EXPECT_EQ(ring.write_index(), 0);
    EXPECT_EQ(ring.last_position(), 0);
}

TEST(AudioPump, MicroHearsTheRecordedFramesOneFrameLate) {
    micro_patch p;
    record_buffer rec(1000);
    capture ring(rec, 500);
    pump_rig r(&p.g, 1, &ring);
    // Samples whose |x| / 2.5 lies well away from an integer, so truncation is
    // unambiguous: x mod 5 is never 0.
    std::vector<int> left;
    for (int i = 0; i < 40; ++i) left.push_back((i % 2 ? -1 : 1) * (1001 + 800 * i));
    rec.write(stereo(left).data(), 40);
    const auto buffer = r.render(40);
    // MICRO gives |x / 32767| and the pump x * 32767 / 2.5: the sample is
    // trunc(|x| / 2.5). The tick comes before the publication, so frame f
    // hears recorded frame f - 1 (frame 0 the sample published before).
    EXPECT_EQ(buffer[0], 0);
    for (int f = 1; f < 40; ++f)
        ASSERT_EQ(buffer[2 * f], static_cast<int>(std::abs(left[f - 1]) / 2.5)) << f;
    EXPECT_EQ(current_input_sample.load(), left[39]);
    EXPECT_EQ(ring.reads(), 1);
    // The next buffer reads from where the new frames landed in the ring.
    rec.write(stereo({-32767, 7, 12346}).data(), 3);
    const auto next = r.render(3);
    EXPECT_EQ(next[0], static_cast<int>(std::abs(left[39]) / 2.5));
    EXPECT_EQ(next[2], 13106); // 32767 / 2.5
    EXPECT_EQ(next[4], 2);     // 7 / 2.5
    EXPECT_EQ(current_input_sample.load(), 12346);
    EXPECT_EQ(ring.write_index(), 43);
}

TEST(AudioPump, APatchWithoutMicroNeverReadsTheRecordingButPublishesTheRingFromZero) {
    record_buffer rec(1000);
    capture ring(rec, 500);
    micro_patch first; // fills the ring's first frames
    pump_rig r(&first.g, 1, &ring);
    rec.write(stereo({11, 22, 33, 44, 55, 66, 77, 88}).data(), 8);
    r.render(8);
    ASSERT_EQ(ring.reads(), 1);
    patch p(0.25f);
    r.pump.generator_table[0] = &p.g;
    rec.write(stereo({-5, -6, -7}).data(), 3);
    for (int n = 1; n <= 8; ++n) {
        // The last frame published ring frame n - 1 of the first recording.
        EXPECT_EQ(r.render(n)[0], 3276) << n; // 0.25 * 32767 / 2.5 = 3276.7
        EXPECT_EQ(current_input_sample.load(), 11 * n) << n;
    }
    EXPECT_EQ(ring.reads(), 1);
    EXPECT_EQ(ring.last_position(), 8);

    // Without a ring MICRO hears 0.
    micro_patch m;
    pump_rig bare(&m.g);
    current_input_sample = 1234;
    EXPECT_EQ(bare.render(4, 0x1111)[2], 0);
    EXPECT_EQ(current_input_sample.load(), 0);
}

TEST(AudioPump, ScopeSeesEveryFrameOnlyWhileTheViewIsOn) {
    patch p(0.75f);
    pump_rig r(&p.g);
    float seen[32];
    r.render(10);
    EXPECT_EQ(r.pump.scope_values.pop(seen, 32), 0);
    r.pump.scope_view = 1;
    r.render(10);
    ASSERT_EQ(r.pump.scope_values.pop(seen, 32), 10);
    EXPECT_FLOAT_EQ(seen[9], 0.75f);
    EXPECT_EQ(r.pump.scope_block_frames.load(), 10);
}

TEST(AudioPumpLock, ABufferThatCannotTakeThePatchLockIsSilence) {
    patch p(1.0f);
    pump_rig r(&p.g);
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
    EXPECT_EQ(r.render(16, 0x3333), std::vector<std::int16_t>(32, 0));
    {
        std::lock_guard<std::mutex> l(m);
        release = true;
    }
    cv.notify_all();
    editor.join();
    EXPECT_EQ(r.render(16)[0], 13106);
}

TEST(SoundSystem, BlocksAreZeroedBeforeThePumpSoADeviceNeverPlaysStaleData) {
    patch p(1.0f);
    pump_rig r(&p.g, 0);
    sound_system sound;
    use_fakes(sound, fake_backend{});
    ASSERT_TRUE(sound.set_output(output_kind::nosound));
    ASSERT_TRUE(sound.init());
    ASSERT_TRUE(sound.stream_create(&audio_pump::stream_callback, &r.pump, stream_buffer_bytes, 0));
    frame_fifo tap(100);
    sound.set_output_tap(&tap);
    std::vector<std::int16_t> block(64, 0x4444);
    sound.render(block.data(), 32);
    EXPECT_EQ(block, std::vector<std::int16_t>(64, 0));
    audio_enabled = 1;
    sound.render(block.data(), 32);
    EXPECT_EQ(block[0], 13106);
    EXPECT_EQ(sound.frames_played(), 64);
    // The tap got both blocks, in order.
    std::vector<std::int16_t> played(128);
    EXPECT_EQ(tap.pop(played.data(), 64), 64);
    EXPECT_EQ(played[0], 0);
    EXPECT_EQ(played[2 * 32], 13106);
}

TEST(SoundSystem, CallsOutOfOrderFailWithTheirErrorCodes) {
    sound_system sound;
    fake_backend no_recording;
    no_recording.refuse = true;
    use_fakes(sound, no_recording);
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
    EXPECT_FALSE(sound.record_start(1000));
    EXPECT_STREQ(sound_error_text(sound.error()), "Recording not supported on this device");
    EXPECT_STREQ(sound_error_text(19), "Unknown error");
    EXPECT_STREQ(sound_error_text(-1), "Unknown error");
    sound.close();
    EXPECT_TRUE(sound.set_output(output_kind::jack)); // closed: set-up is allowed again
}

TEST(OutputResampler, ADeviceAtAnotherRateKeepsThePitchAndTheLevel) {
    // The engine side: a 1 kHz sine at 44 100 Hz, amplitude 16000.
    long long n = 0;
    auto source = [](void* user, std::int16_t* out, int frames) {
        long long& s = *static_cast<long long*>(user);
        for (int i = 0; i < frames; ++i, ++s)
            out[2 * i] = out[2 * i + 1] = static_cast<std::int16_t>(
                std::lrint(16000.0 * std::sin(2 * M_PI * 1000.0 * s / 44100.0)));
    };
    for (int rate : {48000, 32000, 96000}) {
        SCOPED_TRACE(rate);
        n = 0;
        output_resampler r;
        ASSERT_TRUE(r.open(rate, 256, source, &n));
        std::vector<std::int16_t> out(2 * static_cast<std::size_t>(rate)); // one second
        for (int done = 0; done < rate; done += 500)
            r.pull(out.data() + 2 * done, std::min(500, rate - done));
        std::vector<float> left;
        for (int i = rate / 10; i < rate; ++i) left.push_back(out[2 * i] / 16000.0f);
        EXPECT_NEAR(crossing_frequency(left, rate), 1000.0, 5.0);
        EXPECT_NEAR(rms(left), 1.0 / std::sqrt(2.0), 0.02);
        EXPECT_NEAR(static_cast<double>(n), 44100.0, 1500.0) << "a second in for a second out";
    }
    EXPECT_EQ(float_to_sample(2.0f), 32767);
    EXPECT_EQ(float_to_sample(-2.0f), -32768);
    EXPECT_EQ(float_to_sample(NAN), 0);
    for (int s : {-32768, -1, 0, 1, 12345, 32767})
        EXPECT_EQ(float_to_sample(sample_to_float(static_cast<std::int16_t>(s))), s);
}

// The pump on the nosound backend's thread while the main thread replaces the
// patch and finally shuts down: run under ThreadSanitizer.
TEST(AudioPumpThreads, PatchLoadsAndShutdownWhileTheStreamRuns) {
    const std::string dir = scratch_dir(), a = dir + "/a.tsy", b = dir + "/b.tsy";
    write_text(a, tsy("VCO_1;TYPE=1;FREQ=440.000000;AMOUNT=1.00;PHASE=0;\nSOUND_OUTPUT_1;;\n",
                      "SOUND_OUTPUT_1;IN=VCO_1;\n"));
    write_text(b, tsy("MICRO_1;;\nSOUND_OUTPUT_1;;\n", "SOUND_OUTPUT_1;IN=MICRO_1;\n"));
    engine_session s;
    frame_fifo tap(1 << 20);
    s.sound.set_output_tap(&tap);
    ASSERT_TRUE(s.sound.set_output(output_kind::nosound));
    ASSERT_TRUE(s.sound.init());
    s.current.reset(TM_NEW(GENERATOR));
    load_patch(*s.current, a.c_str());
    pump_settings settings;
    settings.buffer_frames = 64; // many small blocks
    int status = 0;
    ASSERT_TRUE(pump_start(s.pump, s.sound, s.ring, settings, status));
    engine_play_current(s);
    for (int i = 0; i < 20; ++i) {
        const long long before = s.sound.frames_played();
        ASSERT_NE(load_patch(*s.current, i % 2 ? a.c_str() : b.c_str()), load_failed);
        // The audio thread goes round a few times with the new patch.
        ASSERT_TRUE(wait_until([&] { return s.sound.frames_played() >= before + 256; }));
    }
    EXPECT_GE(s.sound.frames_played(), 20 * 256);
    engine_shutdown(s);
    // The sine patch was heard between the loads.
    std::vector<std::int16_t> played(2 << 20);
    const int n = tap.pop(played.data(), 1 << 20);
    int loud = 0;
    for (int i = 0; i < n; ++i) loud += std::abs(played[2 * i]) > 10000;
    EXPECT_GT(loud, 0);
    EXPECT_EQ(s.current, nullptr);
    EXPECT_EQ(s.pump.generator_table[0].load(), nullptr);
    EXPECT_FALSE(s.sound.initialised());
}

// The recording's thread empties the tap alone: here no main loop runs at all
// while twenty times what the tap holds goes through it. The test thread plays
// the audio thread, waiting for room so that a loss could only be the drain's.
TEST(RecordDrain, EveryFrameReachesTheFileWithoutAMainLoopAndALossIsCountedAndSaid) {
    const std::string dir = scratch_dir(), take = dir + "/take.wav", short_take = dir + "/s.wav";
    std::string error;
    {
        frame_fifo tap(1024);
        sound_writer file;
        ASSERT_TRUE(file.open(take, 2, false, wav_container::rf64_or_wav, error)) << error;
        record_drain drain(tap, file, take);
        drain.start();
        constexpr int block = 256, total = 20 * 1024;
        std::vector<int> left(block);
        for (int done = 0; done < total; done += block) {
            ASSERT_TRUE(wait_until([&] { return tap.queued() <= tap.capacity() - block; }));
            for (int i = 0; i < block; ++i) left[i] = (done + i) % 30000;
            tap.push(stereo(left).data(), block);
        }
        EXPECT_TRUE(drain.finish());
        EXPECT_EQ(drain.lost(), 0);
        const sound s = read_sound(take);
        ASSERT_EQ(s.frames, total);
        const std::vector<int> l = s.pcm16(0), r = s.pcm16(1);
        int wrong = 0;
        for (int i = 0; i < total; ++i) wrong += l[i] != i % 30000 || r[i] != -l[i];
        EXPECT_EQ(wrong, 0);
    }
    // A block longer than the tap: what did not fit is counted and said in
    // one line at the end, and the take is kept with what it has.
    frame_fifo tap(16);
    sound_writer file;
    ASSERT_TRUE(file.open(short_take, 2, false, wav_container::rf64_or_wav, error)) << error;
    record_drain drain(tap, file, short_take);
    drain.start();
    std::vector<int> left(64);
    for (int i = 0; i < 64; ++i) left[i] = 1000 + i;
    tap.push(stereo(left).data(), 64);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(drain.finish());
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(drain.lost(), 48);
    EXPECT_NE(said.find("48 frames"), std::string::npos) << said;
    EXPECT_NE(said.find(short_take), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    const sound s = read_sound(short_take);
    ASSERT_EQ(s.frames, 16);
    EXPECT_EQ(s.pcm16(0)[0], 1000);
    EXPECT_EQ(s.pcm16(0)[15], 1015);
}
