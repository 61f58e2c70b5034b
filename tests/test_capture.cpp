// Sound input capture: the recording buffer, the copy into the capture ring
// (one or two regions, wrapping), input rate conversion, the pump's start with
// a recording device, and MICRO hearing a known file through --input.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/sound_resample.hpp"
#include "support/sound_support.hpp"

using namespace tmod;
using namespace tmod::test;

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
    EXPECT_EQ(std::vector<int>(r[0].frames, r[0].frames + 4), (std::vector<int>{9, -9, 10, -10}));
    EXPECT_EQ(std::vector<int>(r[1].frames, r[1].frames + 6),
              (std::vector<int>{11, -11, 12, -12, 13, -13}));
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

TEST(Capture, AWrappedRecordingIsCopiedInTwoRegionsAndTheRingWrapsToFrameZero) {
    record_buffer rec(10);
    capture ring(rec, 100);
    record(rec, 1, 8);
    EXPECT_EQ(ring.read(), 0);
    record(rec, 9, 5); // the recording wraps past the buffer's end
    EXPECT_EQ(ring.read(), 8);
    for (int i = 0; i < 13; ++i) ASSERT_EQ(ring.left(i), i + 1) << "ring frame " << i;
    EXPECT_EQ(ring.last_position(), 3);
    EXPECT_EQ(ring.write_index(), 13);

    record_buffer long_rec(50);
    capture small(long_rec, 16);
    record(long_rec, 1, 10);
    EXPECT_EQ(small.read(), 0);
    record(long_rec, 11, 10); // reaches the ring's end: continues at frame 0
    EXPECT_EQ(small.read(), 10);
    const int expected[16] = {17, 18, 19, 20, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(small.left(i), expected[i]) << "ring frame " << i;
    EXPECT_EQ(small.write_index(), 4);
    EXPECT_EQ(small.next(15), 0);
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
        EXPECT_NEAR(crossing_frequency(left), 500.0, 2.5);
        EXPECT_NEAR(rms(left), 1.0 / std::sqrt(2.0), 0.02);
    }
}

namespace {

struct started {
    bool ok;
    int status;
    std::string text;
};

// pump_start on a fake backend (see fake_backend) with the recording driver
// given (-1: none).
started start_with(const fake_backend& model, audio_pump& pump, sound_system& sound,
                   std::unique_ptr<capture>& ring, int record_driver = 0) {
    use_fakes(sound, model);
    EXPECT_TRUE(sound.set_output(output_kind::nosound));
    EXPECT_TRUE(sound.init());
    sound.set_record_driver(record_driver);
    pump_settings settings;
    settings.record_wait_seconds = 0.05;
    started s{false, 0, ""};
    s.text = stdout_of([&] { s.ok = pump_start(pump, sound, ring, settings, s.status); });
    return s;
}

fake_backend recording(int deliver, bool refuse = false) {
    fake_backend b;
    b.ins = {"in"};
    b.deliver = deliver;
    b.refuse = refuse;
    return b;
}

} // namespace

TEST(PumpStart, RecordedFramesAttachTheCaptureRing) {
    audio_pump pump;
    sound_system sound;
    std::unique_ptr<capture> ring;
    EXPECT_TRUE(start_with(recording(10), pump, sound, ring).ok);
    ASSERT_NE(ring, nullptr);
    EXPECT_EQ(pump.input, ring.get());
    EXPECT_EQ(sound.recording()->position(), 10);
    pump_stop(pump, sound, ring);
    EXPECT_EQ(pump.input, nullptr);
    EXPECT_EQ(ring, nullptr);
    EXPECT_FALSE(sound.initialised());
}

TEST(PumpStart, WithoutInputFromTheRecordingDeviceItPlaysWithoutInput) {
    const struct {
        fake_backend backend;
        int driver;
        const char* says;
    } cases[] = {
        {recording(0), 0, "No input arrived from the recording device"}, // in bounded time
        {recording(10), -1, "No recording device: playing without input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        audio_pump pump;
        sound_system sound;
        std::unique_ptr<capture> ring;
        const started s = start_with(c.backend, pump, sound, ring, c.driver);
        EXPECT_TRUE(s.ok);
        EXPECT_NE(s.text.find(c.says), std::string::npos) << s.text;
        EXPECT_EQ(pump.input, nullptr);
        EXPECT_EQ(ring, nullptr);
        EXPECT_EQ(sound.recording(), nullptr);
    }
}

TEST(PumpStart, FailuresPrintTheErrorTextAndGiveTheExitStatus) {
    audio_pump pump;
    sound_system sound;
    std::unique_ptr<capture> ring;
    const started s = start_with(recording(0, true), pump, sound, ring);
    EXPECT_FALSE(s.ok);
    EXPECT_EQ(s.status, -1);
    EXPECT_NE(s.text.find("Error!\nRecording not supported on this device\n"), std::string::npos)
        << s.text;
    EXPECT_FALSE(sound.initialised()); // closed

    sound_system uninitialised;
    int status = 0;
    EXPECT_EQ(stdout_of([&] {
                  EXPECT_FALSE(pump_start(pump, uninitialised, ring, pump_settings{}, status));
              }),
              "Error!\nThis command failed because FSOUND_Init was not called\n");
    EXPECT_EQ(status, 1);
}

namespace {
const char* const micro_patch = "MICRO_1;;\nSOUND_OUTPUT_1;;\n";
const char* const micro_links = "SOUND_OUTPUT_1;IN=MICRO_1;\n";
} // namespace

TEST(RenderInput, MicroHearsAKnownInputFileAtTheExpectedLevel) {
    const std::string dir = scratch_dir();
    write_text(dir + "/micro.tsy", tsy(micro_patch, micro_links));
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
    ASSERT_TRUE(write_wav(dir + "/in.wav", 44100, 2, input));
    ASSERT_EQ(run_program("--render " + dir + "/out.wav --seconds 2 --input " + dir + "/in.wav " +
                              dir + "/micro.tsy",
                          dir + "/log.txt"),
              0)
        << read_text(dir + "/log.txt");
    const std::vector<int> got = read_sound(dir + "/out.wav").pcm16(0);
    ASSERT_EQ(got.size(), 88200u);
    // Frame t hears input frame t - 1: trunc(|x| / 32767 * 32767 / 2.5),
    // one step of tolerance where |x| / 2.5 is a whole number.
    EXPECT_EQ(got[0], 0);
    int off = 0;
    double sum = 0;
    for (int t = 1; t <= frames; ++t) {
        off += std::abs(got[t] - static_cast<int>(std::fabs(left[t - 1]) / 2.5)) > 1;
        sum += got[t];
    }
    EXPECT_EQ(off, 0);
    // The level: the mean of |sin| is 2 / pi, so 20000 / 2.5 * 2 / pi.
    EXPECT_NEAR(sum / frames, 8000.0 * 2 / M_PI, 8000.0 * 0.01);
    // After the file's end the input is silence.
    for (std::size_t t = frames + 1; t < got.size(); ++t) ASSERT_EQ(got[t], 0) << t;
}

TEST(RenderInput, AMonoFileFeedsBothChannelsAndBadFilesAreRefused) {
    const std::string dir = scratch_dir(), patch = dir + "/micro.tsy", out = dir + "/out.wav";
    write_text(patch, tsy(micro_patch, micro_links));
    ASSERT_TRUE(write_wav(dir + "/mono.wav", 44100, 1, std::vector<short>(4410, -12346)));
    ASSERT_EQ(
        run_program("--render " + out + " --seconds 0.2 --input " + dir + "/mono.wav " + patch), 0);
    const std::vector<int> got = read_sound(out).pcm16(0);
    ASSERT_EQ(got.size(), 8820u);
    EXPECT_EQ(got[1], 4938); // 12346 / 2.5 = 4938.4
    EXPECT_EQ(got[4410], 4938);
    EXPECT_EQ(got[4411], 0);

    ASSERT_TRUE(write_wav(dir + "/48k.wav", 48000, 2, std::vector<short>(960, 1000)));
    write_text(dir + "/junk.wav", "not a sound file at all");
    const std::pair<const char*, const char*> refused[] = {
        {"48k.wav", "is at 48000 Hz; the engine runs at 44100 Hz"},
        {"junk.wav", "cannot read the input"},
        {"missing.wav", ""},
    };
    for (const auto& [file, says] : refused) {
        SCOPED_TRACE(file);
        EXPECT_EQ(run_program("--render " + out + " --input " + dir + "/" + file + " " + patch,
                              dir + "/log"),
                  1);
        EXPECT_NE(read_text(dir + "/log").find(says), std::string::npos);
    }
}
