// Sound input capture: the looping recording buffer, the copy into the
// capture ring (one or two regions, wrapping at both ends), the input rate
// conversion, and MICRO hearing a known file through --input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sndfile.h>
#include <sys/wait.h>
#include <vector>

#include "engine/audio_pump.hpp"
#include "engine/capture.hpp"
#include "engine/sound_resample.hpp"
#include "engine/sound_system.hpp"
#include "support/harness.hpp"

using namespace tmod;

namespace {

// Frames whose left sample counts up from `first` and right sample is -left.
std::vector<std::int16_t> counting(int first, int n) {
    std::vector<std::int16_t> s;
    for (int i = 0; i < n; ++i) {
        s.push_back(static_cast<std::int16_t>(first + i));
        s.push_back(static_cast<std::int16_t>(-(first + i)));
    }
    return s;
}

void record(record_buffer& rec, int first, int n) {
    const auto frames = counting(first, n);
    rec.write(frames.data(), n);
}

} // namespace

TEST(RecordBuffer, PositionWrapsAndALockedRangeComesInOneOrTwoRegions) {
    record_buffer rec(10);
    EXPECT_EQ(rec.position(), 0);
    record(rec, 1, 8);
    EXPECT_EQ(rec.position(), 8);
    record(rec, 9, 5); // frames 9..10 at the end, 11..13 from the start
    EXPECT_EQ(rec.position(), 3);

    record_region r[2];
    ASSERT_EQ(rec.lock(8, 5, r), 2);
    ASSERT_EQ(r[0].count, 2);
    ASSERT_EQ(r[1].count, 3);
    EXPECT_EQ(r[0].frames[0], 9);
    EXPECT_EQ(r[0].frames[2], 10);
    EXPECT_EQ(r[1].frames[0], 11);
    EXPECT_EQ(r[1].frames[1], -11);
    EXPECT_EQ(r[1].frames[4], 13);

    ASSERT_EQ(rec.lock(3, 4, r), 1);
    EXPECT_EQ(r[0].count, 4);
    EXPECT_EQ(r[0].frames[0], 4);
    EXPECT_EQ(rec.lock(10, 1, r), 0); // outside the buffer
    EXPECT_EQ(rec.lock(0, 0, r), 0);

    // A write longer than the buffer keeps its last `length` frames.
    record_buffer small(4);
    record(small, 100, 9);
    ASSERT_EQ(small.lock(0, 4, r), 1);
    EXPECT_EQ(r[0].frames[0], 108);
    EXPECT_EQ(r[0].frames[2], 105);
    EXPECT_EQ(small.position(), 1);
}

TEST(Capture, NothingNewReadsAsFrameZeroAndChangesNothing) {
    record_buffer rec(100);
    capture ring(rec, 50);
    EXPECT_EQ(ring.read(), 0);
    EXPECT_EQ(ring.reads(), 0);
    record(rec, 1, 5);
    EXPECT_EQ(ring.read(), 0);
    EXPECT_EQ(ring.read(), 0); // nothing since
    EXPECT_EQ(ring.write_index(), 5);
    EXPECT_EQ(ring.reads(), 1);
}

TEST(Capture, AWrappedRecordingPositionIsCopiedInTwoRegionsInOrder) {
    record_buffer rec(10);
    capture ring(rec, 100);
    record(rec, 1, 8);
    EXPECT_EQ(ring.read(), 0);
    record(rec, 9, 5); // the recording wraps past the buffer's end
    EXPECT_EQ(ring.read(), 8);
    for (int i = 0; i < 13; ++i) {
        ASSERT_EQ(ring.left(i), i + 1) << "ring frame " << i;
    }
    EXPECT_EQ(ring.last_position(), 3);
    EXPECT_EQ(ring.write_index(), 13);
}

TEST(Capture, ACopyReachingTheRingsEndContinuesAtFrameZero) {
    record_buffer rec(50);
    capture ring(rec, 16);
    record(rec, 1, 10);
    EXPECT_EQ(ring.read(), 0);
    record(rec, 11, 10);
    EXPECT_EQ(ring.read(), 10);
    const int expected[16] = {17, 18, 19, 20, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ring.left(i), expected[i]) << "ring frame " << i;
    EXPECT_EQ(ring.write_index(), 4);
    EXPECT_EQ(ring.next(15), 0);
}

TEST(Capture, FullSizeRingAndRecordingWrapAtOneHundredSeconds) {
    ASSERT_EQ(capture_ring_frames, 4410000);
    record_buffer rec(capture_ring_frames);
    capture ring(rec);
    ASSERT_EQ(ring.ring_frames(), 4410000);
    const int before_end = capture_ring_frames - 10;
    std::vector<std::int16_t> silence(2 * static_cast<std::size_t>(before_end), 0);
    rec.write(silence.data(), before_end);
    EXPECT_EQ(ring.read(), 0);
    record(rec, 1000, 25); // 10 frames before both ends, 15 after
    EXPECT_EQ(ring.read(), before_end);
    EXPECT_EQ(ring.left(before_end), 1000);
    EXPECT_EQ(ring.left(capture_ring_frames - 1), 1009);
    EXPECT_EQ(ring.left(0), 1010);
    EXPECT_EQ(ring.left(14), 1024);
    EXPECT_EQ(ring.write_index(), 15);
    EXPECT_EQ(ring.last_position(), 15);
}

TEST(InputResampler, InputAtAnotherRateArrivesAtTheEnginesRate) {
    for (int rate : {48000, 22050}) {
        SCOPED_TRACE(rate);
        record_buffer rec(2 * 44100);
        input_resampler r;
        ASSERT_TRUE(r.open(rate, 256));
        // One second of a 500 Hz sine at the device's rate, in device blocks.
        std::vector<std::int16_t> in(2 * static_cast<std::size_t>(rate));
        for (int i = 0; i < rate; ++i)
            in[2 * i] = in[2 * i + 1] = static_cast<std::int16_t>(
                std::lrint(12000.0 * std::sin(2 * M_PI * 500.0 * i / rate)));
        for (int done = 0; done < rate; done += 300)
            r.push(in.data() + 2 * done, std::min(300, rate - done), rec);
        const int got = rec.position();
        EXPECT_NEAR(got, 44100, 600);
        record_region regions[2];
        ASSERT_EQ(rec.lock(0, got, regions), 1);
        std::vector<float> left;
        for (int i = 4410; i < got; ++i) left.push_back(regions[0].frames[2 * i] / 12000.0f);
        EXPECT_NEAR(test::crossing_frequency(left), 500.0, 2.5);
        EXPECT_NEAR(test::rms(left), 1.0 / std::sqrt(2.0), 0.02);
    }
}

namespace {

int run_program(const std::string& args, const std::string& log) {
    const std::string cmd = std::string(TM_PROGRAM) + " " + args + " > " + log + " 2>&1";
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool write_wav(const std::string& path, int rate, int channels, const std::vector<short>& samples) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    sf_write_short(f, samples.data(), static_cast<sf_count_t>(samples.size()));
    sf_close(f);
    return true;
}

std::vector<short> read_left(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return {};
    std::vector<short> all(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_short(f, all.data(), static_cast<sf_count_t>(all.size()));
    sf_close(f);
    std::vector<short> left;
    for (std::size_t i = 0; i < all.size(); i += static_cast<std::size_t>(info.channels))
        left.push_back(all[i]);
    return left;
}

const char* const micro_patch =
    "BEGIN_OBJECTS_DECLARE\n\nMICRO_1;;\nSOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\n\n"
    "BEGIN_LINKS_DECLARE\nSOUND_OUTPUT_1;IN=MICRO_1;\nEND_LINKS_DECLARE\n";

} // namespace

TEST(RenderInput, MicroHearsAKnownInputFileAtTheExpectedLevel) {
    const std::string dir = test::scratch_dir("RenderInput");
    const std::string patch = dir + "/micro.tsy", in = dir + "/in.wav", out = dir + "/out.wav";
    test::write_text(patch, micro_patch);
    // Left: a 300 Hz sine of amplitude 20000 for 1.5 s; right: a different
    // signal MICRO must not hear.
    const int frames = 66150;
    std::vector<short> input;
    std::vector<double> left;
    for (int i = 0; i < frames; ++i) {
        left.push_back(std::lrint(20000.0 * std::sin(2 * M_PI * 300.0 * i / 44100.0)));
        input.push_back(static_cast<short>(left.back()));
        input.push_back(static_cast<short>(i % 2 ? 32000 : -32000));
    }
    ASSERT_TRUE(write_wav(in, 44100, 2, input));
    ASSERT_EQ(run_program("--render " + out + " --seconds 2 --input " + in + " " + patch,
                          dir + "/log.txt"),
              0)
        << test::read_text(dir + "/log.txt");

    const std::vector<short> got = read_left(out);
    ASSERT_EQ(got.size(), 88200u);
    // Frame t hears input frame t - 1: trunc(|x| / 32767 * 32767 / 2.5),
    // one step of tolerance where |x| / 2.5 is a whole number.
    EXPECT_EQ(got[0], 0);
    int off = 0;
    double sum = 0;
    for (int t = 1; t <= frames; ++t) {
        const int expected = static_cast<int>(std::fabs(left[t - 1]) / 2.5);
        if (std::abs(got[t] - expected) > 1) ++off;
        sum += got[t];
    }
    EXPECT_EQ(off, 0);
    // The level: the mean of |sin| is 2 / pi, so 20000 / 2.5 * 2 / pi.
    EXPECT_NEAR(sum / frames, 8000.0 * 2 / M_PI, 8000.0 * 0.01);
    // After the file's end the input is silence.
    for (std::size_t t = frames + 1; t < got.size(); ++t) ASSERT_EQ(got[t], 0) << t;
}

TEST(RenderInput, AMonoFileFeedsBothChannelsAndBadFilesAreRefused) {
    const std::string dir = test::scratch_dir("RenderInputBad");
    const std::string patch = dir + "/micro.tsy", out = dir + "/out.wav";
    test::write_text(patch, micro_patch);
    ASSERT_TRUE(write_wav(dir + "/mono.wav", 44100, 1, std::vector<short>(4410, -12346)));
    ASSERT_EQ(
        run_program("--render " + out + " --seconds 0.2 --input " + dir + "/mono.wav " + patch,
                    dir + "/log"),
        0);
    const std::vector<short> got = read_left(out);
    ASSERT_EQ(got.size(), 8820u);
    EXPECT_EQ(got[1], 4938); // 12346 / 2.5 = 4938.4
    EXPECT_EQ(got[4410], 4938);
    EXPECT_EQ(got[4411], 0);

    ASSERT_TRUE(write_wav(dir + "/48k.wav", 48000, 2, std::vector<short>(960, 1000)));
    EXPECT_EQ(
        run_program("--render " + out + " --input " + dir + "/48k.wav " + patch, dir + "/log48"),
        1);
    EXPECT_NE(test::read_text(dir + "/log48").find("is at 48000 Hz; the engine runs at 44100 Hz"),
              std::string::npos);

    test::write_text(dir + "/junk.wav", "not a sound file at all");
    EXPECT_EQ(
        run_program("--render " + out + " --input " + dir + "/junk.wav " + patch, dir + "/logjunk"),
        1);
    EXPECT_NE(test::read_text(dir + "/logjunk").find("cannot read the input"), std::string::npos);
    EXPECT_EQ(run_program("--render " + out + " --input " + dir + "/missing.wav " + patch,
                          dir + "/logmiss"),
              1);
}

namespace {

// A backend whose recording device writes `deliver` frames when opened (and
// then nothing), or fails to open.
struct recording_backend : sound_backend {
    int deliver = 0;
    bool refuse = false;
    int driver_count() override { return 1; }
    std::string driver_name(int) override { return "out"; }
    int record_driver_count() override { return 1; }
    std::string record_driver_name(int) override { return "in"; }
    int open_output(sound_system&, int, int block, stream_info& info) override {
        info.block_frames = block;
        return sound_ok;
    }
    int start_output() override { return sound_ok; }
    void close_output() override {}
    int open_input(int, record_buffer& buffer) override {
        if (refuse) return sound_record_unsupported;
        if (deliver > 0) record(buffer, 1, deliver);
        return sound_ok;
    }
    void close_input() override {}
};

struct started {
    bool ok;
    int status;
    std::string text;
};

started start_with(int deliver, bool refuse, audio_pump& pump, sound_system& sound,
                   std::unique_ptr<capture>& ring, int record_driver) {
    sound.backend_factory = [deliver, refuse](output_kind) {
        auto b = std::make_unique<recording_backend>();
        b->deliver = deliver;
        b->refuse = refuse;
        return std::unique_ptr<sound_backend>(std::move(b));
    };
    EXPECT_TRUE(sound.set_output(output_kind::nosound));
    EXPECT_TRUE(sound.init());
    sound.set_record_driver(record_driver);
    pump_settings settings;
    settings.record_wait_seconds = 0.05;
    started s{false, 0, ""};
    testing::internal::CaptureStdout();
    s.ok = pump_start(pump, sound, ring, settings, s.status);
    s.text = testing::internal::GetCapturedStdout();
    return s;
}

} // namespace

TEST(PumpStart, RecordedFramesAttachTheCaptureRing) {
    audio_pump pump;
    sound_system sound;
    std::unique_ptr<capture> ring;
    const started s = start_with(10, false, pump, sound, ring, 0);
    EXPECT_TRUE(s.ok);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(pump.input, ring.get());
    EXPECT_EQ(ring->ring_frames(), 4410000);
    EXPECT_EQ(sound.recording()->length(), 4410000);
    EXPECT_EQ(sound.recording()->position(), 10);
    pump_stop(pump, sound, ring);
    EXPECT_EQ(pump.input, nullptr);
    EXPECT_EQ(ring, nullptr);
    EXPECT_FALSE(sound.initialised());
}

TEST(PumpStart, ARecordingDeviceThatDeliversNothingIsGivenUpInBoundedTime) {
    audio_pump pump;
    sound_system sound;
    std::unique_ptr<capture> ring;
    const started s = start_with(0, false, pump, sound, ring, 0);
    EXPECT_TRUE(s.ok);
    EXPECT_NE(s.text.find("No input arrived from the recording device"), std::string::npos)
        << s.text;
    EXPECT_EQ(pump.input, nullptr);
    EXPECT_EQ(ring, nullptr);
    EXPECT_EQ(sound.recording(), nullptr);
}

TEST(PumpStart, NoRecordingDeviceMeansPlayingWithoutInput) {
    audio_pump pump;
    sound_system sound;
    std::unique_ptr<capture> ring;
    const started s = start_with(10, false, pump, sound, ring, -1);
    EXPECT_TRUE(s.ok);
    EXPECT_NE(s.text.find("No recording device: playing without input"), std::string::npos);
    EXPECT_EQ(pump.input, nullptr);
}

TEST(PumpStart, FailuresPrintTheErrorTextAndGiveTheExitStatus) {
    {
        SCOPED_TRACE("recording");
        audio_pump pump;
        sound_system sound;
        std::unique_ptr<capture> ring;
        const started s = start_with(0, true, pump, sound, ring, 0);
        EXPECT_FALSE(s.ok);
        EXPECT_EQ(s.status, -1);
        EXPECT_NE(s.text.find("Error!\nRecording not supported on this device\n"),
                  std::string::npos)
            << s.text;
        EXPECT_FALSE(sound.initialised()); // closed
    }
    {
        SCOPED_TRACE("stream without an initialised sound system");
        audio_pump pump;
        sound_system sound;
        std::unique_ptr<capture> ring;
        int status = 0;
        testing::internal::CaptureStdout();
        EXPECT_FALSE(pump_start(pump, sound, ring, pump_settings{}, status));
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "Error!\nThis command failed because FSOUND_Init was not called\n");
        EXPECT_EQ(status, 1);
    }
}
