// Real audio end to end: the program plays headless through real sound
// servers with no hardware (JACK with its dummy driver, PulseAudio with null
// sinks), real clients record what the server plays, and a known signal sent
// into the server reaches a MICRO patch. Also the plain headless start through
// the console on standard input and the signal that stops it.
//
// Every server is started by the test itself under a name of its own and is
// stopped at the end, even when a check fails. Waits are generous and nothing
// is timed.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "support/harness.hpp"

namespace {

using namespace std::chrono_literals;

// A child process with its output in a file; stopped (SIGTERM, then SIGKILL)
// when it goes out of scope.
class process {
  public:
    process(const std::vector<std::string>& argv, const std::string& log,
            const std::string& input = "/dev/null")
        : log_(log) {
        tmod::test::write_text(log, ""); // before the child starts, so no old text is seen
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            const int in = open(input.c_str(), O_RDONLY);
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (in < 0 || out < 0) _exit(127);
            dup2(in, 0);
            dup2(out, 1);
            dup2(out, 2);
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execvp(args[0], args.data());
            _exit(127);
        }
    }
    ~process() { stop(SIGTERM); }
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    // Waits until the output holds `text`; false when the process ended first
    // or a minute went by.
    bool wait_for(const std::string& text) {
        for (int i = 0; i < 600; ++i) {
            if (tmod::test::read_text(log_).find(text) != std::string::npos) return true;
            if (exited()) return tmod::test::read_text(log_).find(text) != std::string::npos;
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    // Sends the signal and returns the exit status (-1 when killed by a signal).
    int stop(int sig = SIGTERM) {
        if (pid_ <= 0) return status_;
        kill(pid_, sig);
        for (int i = 0; i < 300 && !exited(); ++i) std::this_thread::sleep_for(100ms);
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            int st = 0;
            waitpid(pid_, &st, 0);
            pid_ = -1;
            status_ = -1;
        }
        return status_;
    }

    std::string output() const { return tmod::test::read_text(log_); }

  private:
    bool exited() {
        if (pid_ <= 0) return true;
        int st = 0;
        if (waitpid(pid_, &st, WNOHANG) != pid_) return false;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        pid_ = -1;
        return true;
    }

    std::string log_;
    pid_t pid_ = -1;
    int status_ = -1;
};

int run_shell(const std::string& cmd) {
    const int status = std::system(cmd.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool installed(const char* tool) {
    return run_shell(std::string("command -v ") + tool + " > /dev/null 2>&1") == 0;
}

struct recording {
    int rate = 0;
    std::vector<float> left;
};

recording read_left(const std::string& path) {
    recording r;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return r;
    std::vector<float> all(static_cast<std::size_t>(info.frames * info.channels));
    sf_read_float(f, all.data(), static_cast<sf_count_t>(all.size()));
    sf_close(f);
    r.rate = info.samplerate;
    for (std::size_t i = 0; i < all.size(); i += static_cast<std::size_t>(info.channels))
        r.left.push_back(all[i]);
    return r;
}

// The part of a recording after the first non-silent sample, skipping
// `settle` frames more.
std::vector<float> sounding(const std::vector<float>& s, std::size_t settle) {
    std::size_t i = 0;
    while (i < s.size() && std::fabs(s[i]) < 1e-4f) ++i;
    i += settle;
    return i < s.size() ? std::vector<float>(s.begin() + static_cast<long>(i), s.end())
                        : std::vector<float>();
}

double mean(const std::vector<float>& s) {
    double sum = 0;
    for (float v : s) sum += v;
    return s.empty() ? 0.0 : sum / static_cast<double>(s.size());
}

// A VCO sine's frequency: its cycle is the whole number of steps of f / 44100
// that first passes 2, and it makes two periods in it.
double vco_sine_frequency(double f) {
    return 2 * 44100.0 / (std::floor(2.0 / (f / 44100.0)) + 1);
}

// Full scale of the pump is +-2.5: a container value of 1 is 13106 / 32768.
constexpr double unit_level = 13106.0 / 32768.0;

const char* const sine_patch =
    "BEGIN_OBJECTS_DECLARE\n\nVCO_1;TYPE=1;FREQ=440.000000;AMOUNT=1.00;PHASE=0;\n"
    "SOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\n\nBEGIN_LINKS_DECLARE\n"
    "SOUND_OUTPUT_1;IN=VCO_1;\nEND_LINKS_DECLARE\n";
const char* const micro_patch =
    "BEGIN_OBJECTS_DECLARE\n\nMICRO_1;;\nSOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\n\n"
    "BEGIN_LINKS_DECLARE\nSOUND_OUTPUT_1;IN=MICRO_1;\nEND_LINKS_DECLARE\n";

// A data directory of its own for one run (the log goes there).
std::string data_dir(const std::string& name) {
    const std::string dir = tmod::test::scratch_dir(name);
    mkdir((dir + "/TSY").c_str(), 0755);
    tmod::test::write_text(dir + "/sine.tsy", sine_patch);
    tmod::test::write_text(dir + "/micro.tsy", micro_patch);
    return dir;
}

// A JACK server with the dummy driver (no hardware), under a unique name that
// this process and its children use.
class jack_server {
  public:
    jack_server(const std::string& dir, int rate) {
        const std::string name = "tmtest" + std::to_string(getpid()) + "_" + std::to_string(rate);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        server_ = std::make_unique<process>(
            std::vector<std::string>{"jackd", "--no-realtime", "-d", "dummy", "-r",
                                     std::to_string(rate), "-p", "1024"},
            dir + "/jackd.log");
        ready_ = run_shell("jack_wait -w -t 20 > /dev/null 2>&1") == 0;
    }
    ~jack_server() {
        server_.reset();
        unsetenv("JACK_DEFAULT_SERVER");
    }
    bool ready() const { return ready_; }

  private:
    std::unique_ptr<process> server_;
    bool ready_ = false;
};

// PulseAudio as root without a session: its own runtime directory, two null
// sinks ("tm_out" for what the program plays, "tm_in" for what it records).
class pulse_server {
  public:
    explicit pulse_server(const std::string& dir) {
        const std::string runtime = dir + "/pulse-runtime";
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (runtime + "/pulse").c_str(), 1);
        unsetenv("PULSE_SERVER");
        server_ = std::make_unique<process>(
            std::vector<std::string>{"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                                     "--disallow-exit", "--use-pid-file=no",
                                     "--load=module-native-protocol-unix",
                                     "--load=module-null-sink sink_name=tm_out rate=44100 "
                                     "sink_properties=device.description=tm_out",
                                     "--load=module-null-sink sink_name=tm_in rate=44100 "
                                     "sink_properties=device.description=tm_in"},
            dir + "/pulse.log");
        for (int i = 0; i < 200 && !ready_; ++i) {
            ready_ = run_shell("pactl info > /dev/null 2>&1") == 0;
            if (!ready_) std::this_thread::sleep_for(100ms);
        }
    }
    ~pulse_server() { server_.reset(); }
    bool ready() const { return ready_; }

  private:
    std::unique_ptr<process> server_;
    bool ready_ = false;
};

std::vector<std::string> program(const std::string& dir, std::vector<std::string> args) {
    std::vector<std::string> argv = {TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// The number the program gives a device, from the list it prints when asked
// for a device that does not exist.
int device_number(const std::string& dir, const std::vector<std::string>& args,
                  const std::string& name) {
    process p(program(dir, args), dir + "/devices.txt");
    p.wait_for("device(s):");
    p.stop();
    const std::string text = p.output();
    const std::size_t at = text.find(" - " + name + "\n");
    if (at == std::string::npos || at < 2) return 0;
    return std::atoi(text.c_str() + text.rfind(' ', at - 1) + 1);
}

} // namespace

TEST(HeadlessPlay, ConsoleKeysOnStandardInputStartTheDefaultPatchAndASignalStopsIt) {
    const std::string dir = data_dir("HeadlessPlay");
    // The start-up patch is TSY/EMPTY.tsy of the data directory: a sine here.
    tmod::test::write_text(dir + "/TSY/EMPTY.tsy", sine_patch);
    tmod::test::write_text(dir + "/keys", "41\033");
    process p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir, "--record",
               dir + "/played.wav"},
              dir + "/out.txt", dir + "/keys");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    // Let a second and a half of sound go by.
    struct stat st {};
    for (int i = 0;
         i < 600 && (stat((dir + "/played.wav").c_str(), &st) != 0 || st.st_size < 4 * 66150); ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();

    const std::string out = p.output();
    EXPECT_NE(out.find("4 - NoSound\n"), std::string::npos);
    EXPECT_NE(out.find("NoSound Recording device driver list\n"), std::string::npos);
    EXPECT_EQ(out.find("FSOUND Output Method"), std::string::npos)
        << "ESC at the recording prompt: no summary";
    EXPECT_NE(out.find("Loading TSY [TSY/EMPTY.tsy]"), std::string::npos);
    EXPECT_NE(out.find("No recording device: playing without input"), std::string::npos);
    EXPECT_NE(out.find("Stopped after"), std::string::npos);
    EXPECT_EQ(tmod::test::read_text(dir + "/log_standard.log"), "INIT_T_MODULAR done.\r\n");

    const recording r = read_left(dir + "/played.wav");
    ASSERT_GE(r.left.size(), 66150u);
    const std::vector<float> tone = sounding(r.left, 100);
    EXPECT_NEAR(tmod::test::crossing_frequency(tone), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(tmod::test::peak(tone), unit_level, 0.001);
}

TEST(HeadlessPlay, EachLiveKindCanBeChosenEvenWithoutAnyDevice) {
    // With no server running and no sound card, a kind may have no device:
    // the console says so and offers the kinds again; ESC then ends it.
    const std::string dir = data_dir("HeadlessKinds");
    const char* headings[] = {"Alsa Driver list\n", "PulseAudio Driver list\n",
                              "JACK Driver list\n"};
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE(k);
        const std::string keys = dir + "/keys" + std::to_string(k);
        tmod::test::write_text(keys, std::to_string(k) + "\033\033");
        process p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir},
                  dir + "/kind.txt", keys);
        ASSERT_TRUE(p.wait_for("Stopped after") || p.wait_for("Output Type"));
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        EXPECT_NE(p.output().find(headings[k - 1]), std::string::npos) << p.output();
    }
}

TEST(HeadlessPlay, EventsPlayTheKeyboardAndAnInterruptStopsCleanly) {
    const std::string dir = data_dir("HeadlessEvents");
    tmod::test::write_text(dir + "/key.tsy",
                           "BEGIN_OBJECTS_DECLARE\nKEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\n"
                           "SOUND_OUTPUT_1;;\nEND_OBJECTS_DECLARE\nBEGIN_LINKS_DECLARE\n"
                           "VCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\nEND_LINKS_DECLARE\n");
    tmod::test::write_text(dir + "/key.events", "0.5 TRIG 60\n");
    process p(
        program(dir, {"--audio", "nosound", "--buffer", "256", "--events", dir + "/key.events",
                      "--record", dir + "/played.wav", dir + "/key.tsy"}),
        dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("TRIG [22] on generator [0]")) << p.output();
    struct stat st {};
    for (int i = 0;
         i < 600 && (stat((dir + "/played.wav").c_str(), &st) != 0 || st.st_size < 4 * 66150); ++i)
        std::this_thread::sleep_for(100ms);
    EXPECT_EQ(p.stop(SIGINT), 0) << p.output();
    EXPECT_NE(p.output().find("blocks of 256 frames"), std::string::npos);
    EXPECT_NE(p.output().find("FSOUND Output Method : FSOUND_OUTPUT_NOSOUND\n"), std::string::npos);

    // 440 Hz before the event, 880 Hz after it (within a block of 256 frames).
    const recording r = read_left(dir + "/played.wav");
    ASSERT_GE(r.left.size(), 66150u);
    const std::vector<float> before(r.left.begin() + 100, r.left.begin() + 20000);
    const std::vector<float> after(r.left.begin() + 26000, r.left.begin() + 66000);
    EXPECT_NEAR(tmod::test::crossing_frequency(before), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(tmod::test::crossing_frequency(after), vco_sine_frequency(880.0), 2.0);
}

TEST(JackLive, ASinePatchIsHeardByAJackClientAndRecordedByTheProgram) {
    if (!installed("jackd") || !installed("jack_capture"))
        GTEST_SKIP() << "jackd2 and jack-capture are not installed";
    const std::string dir = data_dir("JackLive");
    jack_server jack(dir, 44100);
    ASSERT_TRUE(jack.ready()) << tmod::test::read_text(dir + "/jackd.log");
    process p(program(dir, {"--audio", "jack", "--record", dir + "/played.wav", dir + "/sine.tsy"}),
              dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    // What the server plays: jack_capture records the physical outputs.
    ASSERT_EQ(run_shell("jack_capture -d 2 --daemon " + dir + "/heard.wav > " + dir +
                        "/capture.log 2>&1"),
              0)
        << tmod::test::read_text(dir + "/capture.log");
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
    EXPECT_NE(p.output().find("Sound stream: JACK \"system\", blocks of 1024 frames"),
              std::string::npos)
        << p.output();
    EXPECT_NE(p.output().find("latency reported by the backend"), std::string::npos);

    for (const char* file : {"/heard.wav", "/played.wav"}) {
        SCOPED_TRACE(file);
        const recording r = read_left(dir + file);
        EXPECT_EQ(r.rate, 44100);
        const std::vector<float> tone = sounding(r.left, 100);
        ASSERT_GT(tone.size(), 44100u);
        EXPECT_NEAR(tmod::test::crossing_frequency(tone), vco_sine_frequency(440.0), 1.0);
        EXPECT_NEAR(tmod::test::peak(tone), unit_level, 0.002);
        EXPECT_NEAR(tmod::test::rms(tone), unit_level / std::sqrt(2.0), 0.01);
    }
}

TEST(JackLive, AServerAt48kHzIsResampledNotDetuned) {
    if (!installed("jackd") || !installed("jack_capture"))
        GTEST_SKIP() << "jackd2 and jack-capture are not installed";
    const std::string dir = data_dir("JackLive48");
    jack_server jack(dir, 48000);
    ASSERT_TRUE(jack.ready()) << tmod::test::read_text(dir + "/jackd.log");
    process p(program(dir, {"--audio", "jack", "--record-driver", "none", dir + "/sine.tsy"}),
              dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    ASSERT_EQ(run_shell("jack_capture -d 2 --daemon " + dir + "/heard.wav > " + dir +
                        "/capture.log 2>&1"),
              0);
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
    EXPECT_NE(p.output().find("resampled from 44100 Hz to the device's 48000 Hz"),
              std::string::npos)
        << p.output();

    const recording r = read_left(dir + "/heard.wav");
    EXPECT_EQ(r.rate, 48000);
    const std::vector<float> tone = sounding(r.left, 1000);
    ASSERT_GT(tone.size(), 48000u);
    // Played at the wrong rate it would be 48000 / 44100 higher (about 478 Hz).
    EXPECT_NEAR(tmod::test::crossing_frequency(tone, 48000.0), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(tmod::test::rms(tone), unit_level / std::sqrt(2.0), 0.01);
}

TEST(JackLive, ASignalSentIntoTheServerReachesAMicroPatch) {
    if (!installed("jackd") || !installed("jack_capture") || !installed("jack_simple_client"))
        GTEST_SKIP() << "jackd2 and jack-capture are not installed";
    const std::string dir = data_dir("JackMicro");
    jack_server jack(dir, 44100);
    ASSERT_TRUE(jack.ready()) << tmod::test::read_text(dir + "/jackd.log");
    process p(program(dir, {"--audio", "jack", dir + "/micro.tsy"}), dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    // jack_simple_client plays a sine of amplitude 0.2 (220.5 Hz on its first port).
    process sine({"jack_simple_client"}, dir + "/simple.log");
    ASSERT_EQ(run_shell("jack_wait -w -t 20 > /dev/null 2>&1; for i in $(seq 100); do "
                        "jack_lsp | grep -q jack_simple_client:output1 && break; sleep 0.1; done; "
                        "jack_disconnect system:capture_1 'tmodular:inport 0' && "
                        "jack_connect jack_simple_client:output1 'tmodular:inport 0'"),
              0);
    std::this_thread::sleep_for(500ms); // let the new input reach the program's output
    ASSERT_EQ(run_shell("jack_capture -d 2 --daemon -p 'tmodular:outport 0' " + dir +
                        "/heard.wav > " + dir + "/capture.log 2>&1"),
              0);
    sine.stop();
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();

    // MICRO gives |x| of the input, the pump x * 32767 / 2.5: a rectified sine
    // of peak 0.2 * 32767 / 2.5 / 32768 and mean 2 / pi of that.
    const recording r = read_left(dir + "/heard.wav");
    const std::vector<float> heard(r.left.begin() + std::min<std::size_t>(r.left.size(), 4410),
                                   r.left.end());
    ASSERT_GT(heard.size(), 44100u);
    const double peak = 0.2 * 32767.0 / 2.5 / 32768.0;
    EXPECT_NEAR(tmod::test::peak(heard), peak, peak * 0.02);
    EXPECT_NEAR(mean(heard), peak * 2 / M_PI, peak * 0.03);
}

TEST(PulseLive, ASinePatchIsHeardOnANullSinkAndAFilePlayedIntoTheServerReachesMicro) {
    if (!installed("pulseaudio") || !installed("parecord") || !installed("paplay"))
        GTEST_SKIP() << "pulseaudio and pulseaudio-utils are not installed";
    const std::string dir = data_dir("PulseLive");
    pulse_server pulse(dir);
    ASSERT_TRUE(pulse.ready()) << tmod::test::read_text(dir + "/pulse.log");
    const int out = device_number(dir, {"--audio", "pulse", "--driver", "99"}, "tm_out");
    ASSERT_GT(out, 0) << tmod::test::read_text(dir + "/devices.txt");
    const int in = device_number(
        dir, {"--audio", "pulse", "--driver", "1", "--record-driver", "99"}, "Monitor of tm_in");
    ASSERT_GT(in, 0) << tmod::test::read_text(dir + "/devices.txt");
    {
        SCOPED_TRACE("output");
        process p(program(dir, {"--audio", "pulse", "--driver", std::to_string(out),
                                "--record-driver", "none", dir + "/sine.tsy"}),
                  dir + "/out.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        run_shell("timeout -s INT 3 parecord --device=tm_out.monitor --rate=44100 --channels=2 "
                  "--format=s16le "
                  "--file-format=wav " +
                  dir + "/heard.wav > /dev/null 2>&1");
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        const recording r = read_left(dir + "/heard.wav");
        const std::vector<float> tone = sounding(r.left, 2000);
        ASSERT_GT(tone.size(), 22050u);
        EXPECT_NEAR(tmod::test::crossing_frequency(tone), vco_sine_frequency(440.0), 1.0);
        EXPECT_NEAR(tmod::test::peak(tone), unit_level, 0.005);
    }
    {
        SCOPED_TRACE("recording");
        // The known input: a 500 Hz sine of amplitude 16384 for ten seconds.
        std::vector<short> input;
        for (int i = 0; i < 441000; ++i) {
            const auto v =
                static_cast<short>(std::lrint(16384.0 * std::sin(2 * M_PI * 500.0 * i / 44100.0)));
            input.push_back(v);
            input.push_back(v);
        }
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 2;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* f = sf_open((dir + "/in.wav").c_str(), SFM_WRITE, &info);
        ASSERT_NE(f, nullptr);
        sf_write_short(f, input.data(), static_cast<sf_count_t>(input.size()));
        sf_close(f);

        process player({"paplay", "--device=tm_in", dir + "/in.wav"}, dir + "/paplay.log");
        process p(program(dir, {"--audio", "pulse", "--driver", std::to_string(out),
                                "--record-driver", std::to_string(in), dir + "/micro.tsy"}),
                  dir + "/micro.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        std::this_thread::sleep_for(500ms);
        run_shell("timeout -s INT 3 parecord --device=tm_out.monitor --rate=44100 --channels=2 "
                  "--format=s16le "
                  "--file-format=wav " +
                  dir + "/micro.wav > /dev/null 2>&1");
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        player.stop();
        const recording r = read_left(dir + "/micro.wav");
        const std::vector<float> heard = sounding(r.left, 4410);
        ASSERT_GT(heard.size(), 22050u);
        // MICRO: |16384 / 32767|, then * 32767 / 2.5 into the output.
        const double peak = 16384.0 / 2.5 / 32768.0;
        EXPECT_NEAR(tmod::test::peak(heard), peak, peak * 0.03);
        EXPECT_NEAR(mean(heard), peak * 2 / M_PI, peak * 0.04);
    }
}
