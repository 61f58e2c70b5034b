// Output files and the command line under hostile use: outputs that name an
// input, failed or interrupted runs over an existing file, takes ended by a
// hangup or short of frames, temporaries left by killed runs, lengths past
// what WAV holds, events files that are not files, values that are not numbers.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/harness.hpp"
#include "util/atomic_file.hpp"
#include "util/sound_file.hpp"

using namespace tmod;
using namespace tmod::test;
namespace fs = std::filesystem;

namespace {
const std::string sine_patch = std::string(TM_SOURCE_DATA_DIR) + "/TSY/sine440.tsy";

// The program under `timeout`, so a hang fails the test instead of stalling it.
int run_bounded(const std::string& args, const std::string& log) {
    return shell("timeout 120 " + std::string(TM_PROGRAM) + " " + args + " > " + log + " 2>&1");
}

// Names in the directory other than `keep`.
std::vector<std::string> others(const std::string& dir, std::vector<std::string> keep) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (std::find(keep.begin(), keep.end(), name) == keep.end()) out.push_back(name);
    }
    return out;
}

std::string headless_args(const std::string& rest) {
    return "--headless --audio nosound --remote-port 0 " + rest;
}
} // namespace

TEST(OutputLength, WavWhileTheSizesFitIn32BitsThenRf64) {
    const long long gib4 = 1LL << 32;
    // The RIFF size (file length - 8) is a 32-bit count; a plain 16-bit
    // stereo header is 44 bytes, a float one with its fact and PEAK chunks
    // under 100.
    const long long most_wav = gib4 - 1 + 8 - 100;
    for (int frame_bytes : {4, 2 * 2}) {
        SCOPED_TRACE(frame_bytes);
        // A day at 44 100 Hz: a 6-hour render fits, 24 400 s (4.3 GB) does not.
        EXPECT_EQ(container_for_length(6LL * 3600 * 44100, frame_bytes), wav_container::wav);
        EXPECT_EQ(container_for_length(24400LL * 44100, frame_bytes), wav_container::rf64);
        EXPECT_EQ(container_for_length(gib4 / frame_bytes, frame_bytes), wav_container::rf64);
        EXPECT_EQ(container_for_length(86400LL * 44100, frame_bytes), wav_container::rf64);
        // The switch: every length past it needs RF64, none before it does,
        // and it wastes no more than a few kilobytes of what WAV can hold.
        long long first_rf64 = -1;
        for (long long f = (gib4 - 65536) / frame_bytes; f <= gib4 / frame_bytes; ++f) {
            const bool rf64 = container_for_length(f, frame_bytes) == wav_container::rf64;
            if (first_rf64 < 0 && rf64) first_rf64 = f;
            ASSERT_EQ(rf64, first_rf64 >= 0) << "back to WAV at " << f << " frames";
        }
        ASSERT_GT(first_rf64, 0);
        EXPECT_LE((first_rf64 - 1) * frame_bytes, most_wav);
        EXPECT_GE(first_rf64 * frame_bytes, gib4 - 8192);
    }
}

TEST(HostileOutputs, AnOutputThatIsAnInputIsRefusedAndTheInputKept) {
    const std::string dir = scratch_dir();
    const std::string patch = dir + "/p.tsy", in = dir + "/in.wav", events = dir + "/ev.txt";
    fs::copy_file(sine_patch, patch);
    ASSERT_TRUE(write_wav(in, 44100, 2, std::vector<short>(2000, 1000)));
    write_text(events, "0.1 TRIG 60\n");
    fs::create_symlink(patch, dir + "/link.tsy");
    fs::create_hard_link(patch, dir + "/hard.tsy");
    const std::string render = "--render ";
    const std::string runs[] = {
        render + patch + " --seconds 0.1 " + patch,
        render + dir + "/link.tsy --seconds 0.1 " + patch,
        render + dir + "/./hard.tsy --seconds 0.1 " + patch,
        render + in + " --seconds 0.1 --input " + dir + "/../" + fs::path(dir).filename().string() +
            "/in.wav " + sine_patch,
        render + events + " --seconds 0.1 --events " + events + " " + sine_patch,
        headless_args("--record " + patch + " " + patch),
        headless_args("--record " + dir + "/link.tsy " + patch),
    };
    const std::string patch_text = read_text(patch), in_bytes = read_text(in),
                      events_text = read_text(events);
    for (const std::string& args : runs) {
        SCOPED_TRACE(args);
        const std::string log = dir + "/log";
        EXPECT_EQ(run_bounded(args, log), 2);
        EXPECT_NE(read_text(log).find("would overwrite"), std::string::npos) << read_text(log);
        // Compared whole, printed by name: the bytes would drown the message.
        EXPECT_TRUE(read_text(patch) == patch_text) << "the patch changed";
        EXPECT_TRUE(read_text(in) == in_bytes) << "the --input file changed";
        EXPECT_TRUE(read_text(events) == events_text) << "the events file changed";
        EXPECT_TRUE(fs::is_symlink(dir + "/link.tsy"));
    }
}

TEST(HostileOutputs, AFailedOrInterruptedRunLeavesTheOldFileAndNoTemporary) {
    const std::string dir = scratch_dir();
    const std::string old = dir + "/precious.wav", log = dir + "/log";
    write_text(old, "precious take");
    // A start that fails (no 7th NoSound device) before the recording.
    EXPECT_EQ(run_bounded(headless_args("--driver 7 --record " + old + " " + sine_patch), log), 2);
    // A render whose patch does not exist.
    EXPECT_EQ(run_bounded("--render " + old + " " + dir + "/missing.tsy", log), 1);
    EXPECT_TRUE(read_text(old) == "precious take") << "the old file changed";
    EXPECT_EQ(others(dir, {"precious.wav", "log"}), std::vector<std::string>{});

    // A day-long render stopped by a signal once it writes its temporary:
    // Ctrl-C, a closed terminal, and signals nobody meant for it.
    for (int sig : {SIGINT, SIGHUP, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(strsignal(sig));
        child render({TM_PROGRAM, "--render", old, "--seconds", "86400", sine_patch}, log);
        bool writing = false;
        for (int i = 0; i < 6000 && !writing && render.running(); ++i) {
            writing = !others(dir, {"precious.wav", "log"}).empty();
            if (!writing) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_TRUE(writing) << render.output();
        EXPECT_EQ(render.stop(sig), 1);
        EXPECT_NE(render.output().find("interrupted"), std::string::npos) << render.output();
        EXPECT_TRUE(read_text(old) == "precious take") << "the old file changed";
        EXPECT_EQ(others(dir, {"precious.wav", "log"}), std::vector<std::string>{});
    }
}

// A closed terminal (SIGHUP) ends a take as SIGTERM does: finished, in place,
// status 0. A take whose tap overflowed (made to by a tap shorter than one
// block) is kept, says how many frames it lost, and ends with status 1.
TEST(HostileOutputs, AHangupFinishesTheTakeAndALossIsCountedWithStatusOne) {
    const std::string dir = scratch_dir(), log = dir + "/log";
    for (const std::string tap : {"", "16"}) {
        SCOPED_TRACE("TM_RECORD_TAP=" + tap);
        const std::string rec = dir + "/take" + tap + ".wav";
        child play({"env", "TM_RECORD_TAP=" + tap, TM_PROGRAM, "--headless", "--audio", "nosound",
                    "--remote-port", "0", "--record", rec, sine_patch},
                   log);
        ASSERT_TRUE(play.wait_for("Playing")) << play.output();
        // Half a second of sound, or a few blocks' worth of a 16-frame tap.
        const long enough = tap.empty() ? 44100 / 2 : 4 * 16;
        ASSERT_TRUE(wait_until([&] { return recorded_frames(rec) >= enough; })) << play.output();
        EXPECT_EQ(play.stop(SIGHUP), tap.empty() ? 0 : 1) << play.output();

        const std::string out = play.output();
        const std::size_t stopped = out.find("Stopped after ");
        ASSERT_NE(stopped, std::string::npos) << out;
        const double played = std::atof(out.c_str() + stopped + 14) * 44100;
        const sound r = read_sound(rec);
        ASSERT_GT(r.frames, 0) << "the take is not a readable sound file";
        EXPECT_EQ(r.channels, 2);
        // Frames from the start of the stream, a little before play began;
        // the seconds are printed to a tenth.
        long lost = 0;
        const std::size_t said = out.find("tmodular: ");
        if (tap.empty()) {
            EXPECT_EQ(said, std::string::npos) << out;
        } else {
            ASSERT_NE(said, std::string::npos) << out;
            lost = std::atol(out.c_str() + said + 10);
            EXPECT_NE(out.find(" frames (", said), std::string::npos) << out;
            EXPECT_NE(out.find("lost", said), std::string::npos) << out;
            EXPECT_GT(lost, 0);
        }
        EXPECT_GE(r.frames + lost, played - 0.05 * 44100) << out;
        EXPECT_LE(r.frames + lost, played + 2 * 44100) << out;
    }
    EXPECT_EQ(others(dir, {"take.wav", "take16.wav", "log"}), std::vector<std::string>{});
}

// Saves write NAME.tmp.PID.XXXXXX beside their target: a start removes from
// the save folders those whose process is gone, and nothing else.
TEST(HostileOutputs, AStartRemovesTheTemporariesOfEndedRunsAndNothingElse) {
    const std::string dir = scratch_dir(), data = dir + "/data";
    for (const char* folder : {"TSY", "PARTITIONS", "recovery"})
        fs::create_directories(data + "/" + folder);
    // A pid no process has: a child that was waited for.
    const pid_t child_pid = fork();
    if (child_pid == 0) _exit(0);
    ASSERT_GT(child_pid, 0);
    ::waitpid(child_pid, nullptr, 0);
    const std::string gone = ".tmp." + std::to_string(child_pid) + ".",
                      alive = ".tmp." + std::to_string(::getpid()) + ".";
    const std::vector<std::string> stale = {"TSY/x.tsy" + gone + "AAAAAA",
                                            "PARTITIONS/p.PAR" + gone + "b3Zq9x",
                                            "recovery/r.tsy" + gone + "Q1w2E3"};
    const std::vector<std::string> others_files = {
        "TSY/y.tsy" + alive + "AAAAAA", "TSY/x.tsy.tmp.AAAAAA", "TSY/x.tsy" + gone + "AAAAA",
        "TSY/x.tsy" + gone + "AAAAAA~", "TSY/target.tsy"};
    for (const std::string& f : stale) write_text(data + "/" + f, "half a save");
    for (const std::string& f : others_files) write_text(data + "/" + f, "keep");
    fs::create_symlink(data + "/TSY/target.tsy", data + "/TSY/l.tsy" + gone + "AAAAAA");
    fs::create_directory(data + "/TSY/d.tsy" + gone + "AAAAAA");

    const std::string log = dir + "/log";
    ASSERT_EQ(
        run_bounded("--data " + data + " --render " + dir + "/o.wav --seconds 0.01 " + sine_patch,
                    log),
        0)
        << read_text(log);
    for (const std::string& f : stale) EXPECT_FALSE(fs::exists(data + "/" + f)) << f;
    for (const std::string& f : others_files) EXPECT_EQ(read_text(data + "/" + f), "keep") << f;
    EXPECT_TRUE(fs::is_symlink(data + "/TSY/l.tsy" + gone + "AAAAAA"));
    EXPECT_TRUE(fs::is_directory(data + "/TSY/d.tsy" + gone + "AAAAAA"));
    EXPECT_NE(read_text(log).find("Removed 1 temporary file(s) left in PARTITIONS/"),
              std::string::npos)
        << read_text(log);

    // The program's own temporaries are named so.
    atomic_output out;
    ASSERT_TRUE(out.open((dir + "/t.tsy").c_str()));
    const std::string name = fs::path(out.temporary()).filename().string();
    EXPECT_EQ(name.substr(0, name.size() - 6), "t.tsy" + alive) << name;
    EXPECT_EQ(name.size(), ("t.tsy" + alive).size() + 6) << name;
}

TEST(HostileOutputs, ARenderOrARecordingReplacesTheOldFileWhole) {
    const std::string dir = scratch_dir();
    const std::string out = dir + "/out.wav", rec = dir + "/rec.wav", log = dir + "/log";
    write_text(out, "old");
    write_text(rec, "old");
    ::chmod(out.c_str(), 0640);
    ASSERT_EQ(run_bounded("--render " + out + " --seconds 0.5 " + sine_patch, log), 0);
    const sound w = read_sound(out);
    EXPECT_EQ(w.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16) << "a short render is plain WAV";
    EXPECT_EQ(w.frames, 22050);
    EXPECT_EQ(fs::status(out).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    child play({TM_PROGRAM, "--headless", "--audio", "nosound", "--remote-port", "0", "--record",
                rec, sine_patch},
               log);
    ASSERT_TRUE(play.wait_for("Playing")) << play.output();
    EXPECT_TRUE(read_text(rec) == "old") << "the recording replaces the file only at the end";
    EXPECT_EQ(play.stop(), 0) << play.output();
    const sound r = read_sound(rec);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.rate, 44100);
    // Started as RF64, rewritten as WAV on close because it stayed small.
    EXPECT_NE(r.format & SF_FORMAT_TYPEMASK, SF_FORMAT_RF64);
    EXPECT_TRUE((r.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV ||
                (r.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAVEX)
        << std::hex << r.format;
    EXPECT_EQ(others(dir, {"out.wav", "rec.wav", "log"}), std::vector<std::string>{});
}

TEST(HostileCommandLine, MissingPatchesEmptyNamesAndEventsThatAreNotFilesAreRefused) {
    const std::string dir = scratch_dir();
    const std::string log = dir + "/log", out = dir + "/o.wav";
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0644), 0);
    write_text(dir + "/huge", "");
    fs::resize_file(dir + "/huge", (16 << 20) + 1);
    write_text(dir + "/lines", std::string(1000000, '\n') + "0 TRIG 60\n");
    write_text(dir + "/just", std::string(999999, '\n') + "0 TRIG 60\n");
    struct run_case {
        std::string args;
        int status;
        std::string message;
    };
    const std::string render = "--render " + out + " --seconds 0.1 ";
    const run_case runs[] = {
        {headless_args(dir + "/missing.tsy"), 1, "cannot load the patch"},
        {"--render \"\" " + sine_patch, 2, "--render: expected a non-empty value"},
        {"--render " + out + " --events \"\" " + sine_patch, 2, "--events"},
        {render + "--events /dev/zero " + sine_patch, 2, "not a regular file"},
        {render + "--events " + dir + "/fifo " + sine_patch, 2, "not a regular file"},
        {render + "--events " + dir + " " + sine_patch, 2, "not a regular file"},
        {render + "--events " + dir + "/huge " + sine_patch, 2, "larger than 16 MiB"},
        {render + "--events " + dir + "/lines " + sine_patch, 2, "more than 1000000 lines"},
        {headless_args("--events /dev/zero " + sine_patch), 2, "not a regular file"},
        {render + "--events " + dir + "/just " + sine_patch, 0, ""},
    };
    for (const run_case& r : runs) {
        SCOPED_TRACE(r.args);
        EXPECT_EQ(run_bounded(r.args, log), r.status) << read_text(log);
        EXPECT_NE(read_text(log).find(r.message), std::string::npos) << read_text(log);
        EXPECT_EQ(read_text(log).find("Playing"), std::string::npos) << "nothing is played";
    }
}

TEST(HostileOutputs, FloatRendersWriteZeroForValuesThatAreNotNumbers) {
    const std::string dir = scratch_dir();
    // IN2 / IN1: 0/0 is NaN, 1/0 and -1/0 are infinite.
    for (const char* dividend : {"0", "1", "-1"}) {
        SCOPED_TRACE(dividend);
        write_text(dir + "/div.tsy",
                   tsy(std::string("CONSTANTE_A;VALUE=") + dividend +
                           ";\nCONSTANTE_B;VALUE=0;\nBASIC_OPERATION_D;TYPE=3;\nSOUND_OUTPUT_1;;\n",
                       "BASIC_OPERATION_D;IN2=CONSTANTE_A;IN1=CONSTANTE_B;\n"
                       "SOUND_OUTPUT_1;IN=BASIC_OPERATION_D;\n"));
        ASSERT_EQ(
            run_bounded("--render " + dir + "/f.wav --float --seconds 0.1 " + dir + "/div.tsy",
                        dir + "/log"),
            0);
        const sound f = read_sound(dir + "/f.wav");
        ASSERT_EQ(f.frames, 4410);
        EXPECT_EQ(std::count(f.samples.begin(), f.samples.end(), 0.0f), 4410);
    }
}
