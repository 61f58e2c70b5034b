// SAMPLER: playing speed from IN, the gate that closes at the end of the
// sample, backward and looping play, stereo files, the formats libsndfile
// reads, and files that cannot be played.
#include <gtest/gtest.h>
#include <sndfile.h>

#include "modules/sampler.hpp"
#include "support/module_support.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

constexpr int frames = 1000;

// Frame i holds i * 10 (and -i * 10 on a second channel).
std::string write_sound(const std::string& path, int format, int channels, int count = frames) {
    SF_INFO info{0, 44100, channels, format, 0, 0};
    SNDFILE* f = sf_format_check(&info) ? sf_open(path.c_str(), SFM_WRITE, &info) : nullptr;
    if (!f) return "";
    std::vector<short> data;
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < channels; ++c) data.push_back(static_cast<short>(c ? -i * 10 : i * 10));
    sf_writef_short(f, data.data(), count);
    sf_close(f);
    return path;
}

float level(int i) {
    return static_cast<float>(i * 10) / 32768.0f;
}

// A sampler on a mono file of `frames` frames (or the file given), gated by `key`.
struct sampler_rig {
    hand_source key, pitch;
    SAMPLER smp;
    explicit sampler_rig(std::string file = "") {
        if (file.empty())
            file = write_sound(scratch_dir() + "/mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1);
        stdout_of([&] { smp.load_sample(file.c_str()); });
        wire_gate(smp.gate_in, key);
    }
    std::vector<float> play(int n) { return run(smp, n); }
};

} // namespace

TEST(SamplerPlay, GateClosedIsSilentAndReopeningStartsOver) {
    sampler_rig r;
    ASSERT_EQ(r.smp.length, frames);
    ASSERT_EQ(r.smp.channels, 1);
    EXPECT_EQ(r.smp.byte_length, frames * 2);
    EXPECT_EQ(r.play(5), std::vector<float>(5, 0.0f));
    r.key.trigger();
    EXPECT_EQ(r.play(4), (std::vector<float>{level(0), level(1), level(2), level(3)}));
    r.key.release();
    EXPECT_EQ(r.play(1)[0], 0.0f);
    EXPECT_EQ(r.smp.position, 0.0f);
    r.key.trigger();
    EXPECT_FLOAT_EQ(r.play(1)[0], level(0));
}

TEST(SamplerPlay, SpeedFollowsInRelativeToA440AndModulationAdds) {
    const std::pair<float, std::vector<int>> rows[] = {
        {440.0f, {0, 1, 2, 3, 4}}, {880.0f, {0, 2, 4, 6, 8}},  {220.0f, {0, 0, 1, 1, 2}},
        {0.0f, {0, 0, 0, 0, 0}},   {-440.0f, {0, 1, 2, 3, 4}}, // the speed's magnitude counts
    };
    for (const auto& [in, indices] : rows) {
        SCOPED_TRACE(in);
        sampler_rig rig;
        rig.pitch.set(in);
        wire(rig.smp.in, rig.pitch);
        rig.key.trigger();
        const auto out = rig.play(5);
        for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(out[i], level(indices[i])) << i;
    }
    sampler_rig r;
    hand_source amp, freq;
    amp.set(1.0f);  // volume 1 * 1 + 1 = 2
    freq.set(2.0f); // speed 1 * 2 + 1 = 3
    wire(r.smp.mod_amp, amp);
    wire(r.smp.mod_freq, freq);
    r.key.trigger();
    const auto out = r.play(3);
    for (int i = 0; i < 3; ++i) EXPECT_FLOAT_EQ(out[i], 2.0f * level(3 * i));
}

TEST(SamplerPlay, PlayingOnceClosesTheGateAtTheEndAndLoopingKeepsItOpen) {
    sampler_rig r;
    r.key.trigger();
    const auto out = r.play(frames + 1);
    EXPECT_FLOAT_EQ(out[frames - 1], level(frames - 1));
    EXPECT_FLOAT_EQ(out[frames], level(frames - 1)); // one past the end reads the last value
    EXPECT_EQ(r.key.gate, 1);
    r.play(1); // the position is beyond the length: restart and close the source's gate
    EXPECT_EQ(r.key.gate, 0);
    EXPECT_EQ(r.play(1)[0], 0.0f);

    sampler_rig loop;
    loop.smp.play_mode = smp_play_loopav;
    loop.key.trigger();
    const auto round = loop.play(3 * (frames + 1));
    EXPECT_EQ(loop.key.gate, 1);
    EXPECT_FLOAT_EQ(round[frames + 1], level(0)); // round again
    EXPECT_FLOAT_EQ(round[frames + 2], level(1));
}

TEST(SamplerPlay, BackwardStartsFromTheLastValue) {
    for (int mode : {smp_play_ar, smp_play_loopar}) {
        SCOPED_TRACE(mode);
        sampler_rig r;
        r.smp.play_mode = mode;
        r.key.trigger();
        const auto out = r.play(frames + 2);
        EXPECT_FLOAT_EQ(out[0], level(frames - 1)); // index length is read as the last value
        EXPECT_FLOAT_EQ(out[1], level(frames - 1));
        EXPECT_FLOAT_EQ(out[2], level(frames - 2));
        EXPECT_FLOAT_EQ(out[frames], level(0));
        EXPECT_EQ(r.key.gate, mode == smp_play_ar ? 0 : 1);
    }
}

TEST(SamplerPlay, StereoAdvancesTwoValuesAndPlaysTheFirstHalf) {
    sampler_rig r(write_sound(scratch_dir() + "/stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2));
    ASSERT_EQ(r.smp.channels, 2);
    r.key.trigger();
    const auto out = r.play(frames / 2 + 3);
    // Values 0, 2, 4 ... are the left channel of frames 0, 1, 2 ...
    for (int i = 0; i < frames / 2; ++i) ASSERT_FLOAT_EQ(out[i], level(i)) << i;
    EXPECT_EQ(r.key.gate, 0); // the position passed the length: half of the data
}

TEST(SamplerPlay, SyncRestartsAndBusyHoldsTheTick) {
    sampler_rig r;
    hand_source seq;
    wire_sync(r.smp.sync_in, seq);
    r.key.trigger();
    r.play(50);
    seq.request_pulse();
    seq.step_pulse();
    EXPECT_FLOAT_EQ(r.play(1)[0], level(0));
    seq.step_pulse();
    r.smp.busy = 1;
    const float held = r.smp.value, pos = r.smp.position;
    r.play(10);
    EXPECT_EQ(r.smp.value, held);
    EXPECT_EQ(r.smp.position, pos);
}

TEST(SamplerFiles, TheFormatsLibsndfileReads) {
    const std::string dir = scratch_dir();
    const std::pair<const char*, int> rows[] = {{"s.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                                {"s.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                                {"s.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                                                {"s8.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8},
                                                {"s24.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24}};
    for (const auto& [name, format] : rows) {
        SCOPED_TRACE(name);
        const std::string file = write_sound(dir + "/" + name, format, 1, 4410);
        ASSERT_FALSE(file.empty()) << "libsndfile cannot write it";
        SAMPLER smp;
        ASSERT_TRUE(smp.load_sample(file.c_str()));
        EXPECT_EQ(smp.length, 4410);
        EXPECT_EQ(smp.channels, 1);
        EXPECT_EQ(smp.bits, 16);
        EXPECT_STREQ(smp.file, file.c_str());
    }
}

TEST(SamplerFiles, AFileThatCannotBePlayedLeavesTheSamplerSilent) {
    const std::string dir = scratch_dir();
    write_text(dir + "/garbage.wav", "RIFF this is not a sound file at all");
    write_sound(dir + "/empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 0);
    const std::string load = "Oula FSOUND_Sample_Load de [";
    const std::pair<std::string, std::string> rows[] = {
        {dir + "/missing.wav", load + dir + "/missing.wav] retourn 0\n"},
        {dir + "/garbage.wav", load + dir + "/garbage.wav] retourn 0\n"},
        {dir, load + dir + "] retourn 0\n"},
        {dir + "/empty.wav",
         "Oula FSOUND_Sample_GetLength de [" + dir + "/empty.wav] retourn 0 comme taille\n"},
    };
    for (const auto& [file, message] : rows) {
        SCOPED_TRACE(file);
        sampler_rig rig(write_sound(dir + "/good.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1));
        ASSERT_EQ(rig.smp.length, frames);
        bool ok = true;
        EXPECT_EQ(stdout_of([&] { ok = rig.smp.load_sample(file.c_str()); }), message);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(rig.smp.data);
        EXPECT_EQ(rig.smp.byte_length, 0);
        EXPECT_EQ(rig.smp.busy, 0);
        EXPECT_STREQ(rig.smp.file, file.c_str()); // a saved patch keeps the reference
        rig.key.trigger();
        rig.smp.value = 0.0f;
        EXPECT_EQ(rig.play(10), std::vector<float>(10, 0.0f));
    }
}
