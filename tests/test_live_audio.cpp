// Real audio end to end through sound servers without hardware (JACK's dummy
// driver, PulseAudio null sinks): clients record what the program plays, and a
// signal sent into the server reaches MICRO; also the plain headless start.
// Each server is the test's own, under its own name, stopped even on failure;
// waits are generous and nothing is timed.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "support/harness.hpp"

using namespace tmod::test;
using namespace std::chrono_literals;

namespace {

bool installed(const char* tool) {
    return shell(std::string("command -v ") + tool + " > /dev/null 2>&1") == 0;
}

// The left channel of a recording after its first non-silent sample,
// skipping `settle` frames more.
std::vector<float> sounding(const std::string& file, std::size_t settle) {
    const std::vector<float> s = read_sound(file).channel(0);
    std::size_t i = 0;
    while (i < s.size() && std::fabs(s[i]) < 1e-4f) ++i;
    i += settle;
    return i < s.size() ? std::vector<float>(s.begin() + static_cast<long>(i), s.end())
                        : std::vector<float>();
}

// Waits until the recording holds `frames` frames.
void wait_for_frames(const std::string& file, long frames) {
    for (int i = 0; i < 600 && recording_size(file) < 4 * frames; ++i)
        std::this_thread::sleep_for(100ms);
}

double mean(const std::vector<float>& s) {
    double sum = 0;
    for (float v : s) sum += v;
    return s.empty() ? 0.0 : sum / static_cast<double>(s.size());
}

// Full scale of the pump is +-2.5: a container value of 1 is 13106 / 32768.
constexpr double unit_level = 13106.0 / 32768.0;

const std::string sine_patch = tsy("VCO_1;TYPE=1;FREQ=440.000000;AMOUNT=1.00;PHASE=0;\n"
                                   "SOUND_OUTPUT_1;;\n",
                                   "SOUND_OUTPUT_1;IN=VCO_1;\n");
const std::string micro_patch =
    tsy("MICRO_1;;\nSOUND_OUTPUT_1;;\n", "SOUND_OUTPUT_1;IN=MICRO_1;\n");

// A data directory of its own for one run (the log goes there).
std::string data_dir(const std::string& name) {
    const std::string dir = scratch_dir(name);
    mkdir((dir + "/TSY").c_str(), 0755);
    write_text(dir + "/sine.tsy", sine_patch);
    write_text(dir + "/micro.tsy", micro_patch);
    return dir;
}

// A JACK server with the dummy driver (no hardware), under a unique name that
// this process and its children use.
struct jack_server {
    std::unique_ptr<child> server;
    bool ready = false;
    jack_server(const std::string& dir, int rate) {
        const std::string name = "tmtest" + std::to_string(getpid()) + "_" + std::to_string(rate);
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        server = std::make_unique<child>(
            std::vector<std::string>{"jackd", "--no-realtime", "-d", "dummy", "-r",
                                     std::to_string(rate), "-p", "1024"},
            dir + "/jackd.log");
        ready = shell("jack_wait -w -t 20 > /dev/null 2>&1") == 0;
    }
    ~jack_server() {
        server.reset();
        unsetenv("JACK_DEFAULT_SERVER");
    }
};

// PulseAudio as root without a session: its own runtime directory, two null
// sinks ("tm_out" for what the program plays, "tm_in" for what it records).
struct pulse_server {
    std::unique_ptr<child> server;
    bool ready = false;
    explicit pulse_server(const std::string& dir) {
        const std::string runtime = dir + "/pulse-runtime";
        mkdir(runtime.c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        setenv("PULSE_RUNTIME_PATH", (runtime + "/pulse").c_str(), 1);
        unsetenv("PULSE_SERVER");
        server = std::make_unique<child>(
            std::vector<std::string>{"pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                                     "--disallow-exit", "--use-pid-file=no",
                                     "--load=module-native-protocol-unix",
                                     "--load=module-null-sink sink_name=tm_out rate=44100 "
                                     "sink_properties=device.description=tm_out",
                                     "--load=module-null-sink sink_name=tm_in rate=44100 "
                                     "sink_properties=device.description=tm_in"},
            dir + "/pulse.log");
        for (int i = 0; i < 200 && !ready; ++i) {
            ready = shell("pactl info > /dev/null 2>&1") == 0;
            if (!ready) std::this_thread::sleep_for(100ms);
        }
    }
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
    child p(program(dir, args), dir + "/devices.txt");
    p.wait_for("device(s):");
    p.stop();
    const std::string text = p.output();
    const std::size_t at = text.find(" - " + name + "\n");
    if (at == std::string::npos || at < 2) return 0;
    return std::atoi(text.c_str() + text.rfind(' ', at - 1) + 1);
}

// Records what the server plays on tm_out for three seconds.
void parecord(const std::string& file) {
    shell("timeout -s INT 3 parecord --device=tm_out.monitor --rate=44100 --channels=2 "
          "--format=s16le --file-format=wav " +
          file + " > /dev/null 2>&1");
}

} // namespace

TEST(HeadlessPlay, ConsoleKeysOnStandardInputStartTheDefaultPatchAndASignalStopsIt) {
    const std::string dir = data_dir("HeadlessPlay");
    // The start-up patch is TSY/EMPTY.tsy of the data directory: a sine here.
    write_text(dir + "/TSY/EMPTY.tsy", sine_patch);
    write_text(dir + "/keys", "41\033");
    child p(program(dir, {"--record", dir + "/played.wav"}), dir + "/out.txt", dir + "/keys");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    wait_for_frames(dir + "/played.wav", 66150); // a second and a half of sound
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
    const std::string out = p.output();
    EXPECT_NE(out.find("4 - NoSound\n"), std::string::npos);
    EXPECT_NE(out.find("NoSound Recording device driver list\n"), std::string::npos);
    EXPECT_EQ(out.find("FSOUND Output Method"), std::string::npos)
        << "ESC at the recording prompt: no summary";
    EXPECT_NE(out.find("Loading TSY [TSY/EMPTY.tsy]"), std::string::npos);
    EXPECT_NE(out.find("No recording device: playing without input"), std::string::npos);
    EXPECT_NE(out.find("Stopped after"), std::string::npos);
    EXPECT_EQ(read_text(dir + "/log_standard.log"), "INIT_T_MODULAR done.\r\n");
    ASSERT_GE(read_sound(dir + "/played.wav").frames, 66150);
    const std::vector<float> tone = sounding(dir + "/played.wav", 100);
    EXPECT_NEAR(crossing_frequency(tone), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(peak(tone), unit_level, 0.001);
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
        write_text(keys, std::to_string(k) + "\033\033");
        child p(program(dir, {}), dir + "/kind.txt", keys);
        ASSERT_TRUE(p.wait_for("Stopped after") || p.wait_for("Output Type"));
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        EXPECT_NE(p.output().find(headings[k - 1]), std::string::npos) << p.output();
    }
}

TEST(HeadlessPlay, EventsPlayTheKeyboardAndAnInterruptStopsCleanly) {
    const std::string dir = data_dir("HeadlessEvents");
    write_text(dir + "/key.tsy", tsy("KEY_1;OCTAVE=4;\nVCO_1;TYPE=1;FREQ=44;\nSOUND_OUTPUT_1;;\n",
                                     "VCO_1;IN=KEY_1;\nSOUND_OUTPUT_1;IN=VCO_1;\n"));
    write_text(dir + "/key.events", "0.5 TRIG 60\n");
    child p(program(dir, {"--audio", "nosound", "--buffer", "256", "--events", dir + "/key.events",
                          "--record", dir + "/played.wav", dir + "/key.tsy"}),
            dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("TRIG [22] on generator [0]")) << p.output();
    wait_for_frames(dir + "/played.wav", 66150);
    EXPECT_EQ(p.stop(SIGINT), 0) << p.output();
    EXPECT_NE(p.output().find("blocks of 256 frames"), std::string::npos);
    EXPECT_NE(p.output().find("FSOUND Output Method : FSOUND_OUTPUT_NOSOUND\n"), std::string::npos);
    // 440 Hz before the event, 880 Hz after it (within a block of 256 frames).
    const sound r = read_sound(dir + "/played.wav");
    ASSERT_GE(r.frames, 66150);
    EXPECT_NEAR(crossing_frequency(r.channel(0, 100, 20000)), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(crossing_frequency(r.channel(0, 26000, 66000)), vco_sine_frequency(880.0), 2.0);
}

TEST(JackLive, ASinePatchIsHeardByAJackClientAndRecordedByTheProgram) {
    if (!installed("jackd") || !installed("jack_capture"))
        GTEST_SKIP() << "jackd2 and jack-capture are not installed";
    const std::string dir = data_dir("JackLive");
    jack_server jack(dir, 44100);
    ASSERT_TRUE(jack.ready) << read_text(dir + "/jackd.log");
    child p(program(dir, {"--audio", "jack", "--record", dir + "/played.wav", dir + "/sine.tsy"}),
            dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    // What the server plays: jack_capture records the physical outputs.
    ASSERT_EQ(
        shell("jack_capture -d 2 --daemon " + dir + "/heard.wav > " + dir + "/capture.log 2>&1"), 0)
        << read_text(dir + "/capture.log");
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
    EXPECT_NE(p.output().find("Sound stream: JACK \"system\", blocks of 1024 frames"),
              std::string::npos)
        << p.output();
    EXPECT_NE(p.output().find("latency reported by the backend"), std::string::npos);
    for (const char* file : {"/heard.wav", "/played.wav"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(read_sound(dir + file).rate, 44100);
        const std::vector<float> tone = sounding(dir + file, 100);
        ASSERT_GT(tone.size(), 44100u);
        EXPECT_NEAR(crossing_frequency(tone), vco_sine_frequency(440.0), 1.0);
        EXPECT_NEAR(peak(tone), unit_level, 0.002);
        EXPECT_NEAR(rms(tone), unit_level / std::sqrt(2.0), 0.01);
    }
}

TEST(JackLive, AServerAt48kHzIsResampledNotDetuned) {
    if (!installed("jackd") || !installed("jack_capture"))
        GTEST_SKIP() << "jackd2 and jack-capture are not installed";
    const std::string dir = data_dir("JackLive48");
    jack_server jack(dir, 48000);
    ASSERT_TRUE(jack.ready) << read_text(dir + "/jackd.log");
    child p(program(dir, {"--audio", "jack", "--record-driver", "none", dir + "/sine.tsy"}),
            dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    ASSERT_EQ(
        shell("jack_capture -d 2 --daemon " + dir + "/heard.wav > " + dir + "/capture.log 2>&1"),
        0);
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
    EXPECT_NE(p.output().find("resampled from 44100 Hz to the device's 48000 Hz"),
              std::string::npos)
        << p.output();
    EXPECT_EQ(read_sound(dir + "/heard.wav").rate, 48000);
    const std::vector<float> tone = sounding(dir + "/heard.wav", 1000);
    ASSERT_GT(tone.size(), 48000u);
    // Played at the wrong rate it would be 48000 / 44100 higher (about 478 Hz).
    EXPECT_NEAR(crossing_frequency(tone, 48000.0), vco_sine_frequency(440.0), 1.0);
    EXPECT_NEAR(rms(tone), unit_level / std::sqrt(2.0), 0.01);
}

TEST(JackLive, ASignalSentIntoTheServerReachesAMicroPatch) {
    if (!installed("jackd") || !installed("jack_capture") || !installed("jack_simple_client"))
        GTEST_SKIP() << "jackd2 and jack-capture are not installed";
    const std::string dir = data_dir("JackMicro");
    jack_server jack(dir, 44100);
    ASSERT_TRUE(jack.ready) << read_text(dir + "/jackd.log");
    child p(program(dir, {"--audio", "jack", dir + "/micro.tsy"}), dir + "/out.txt");
    ASSERT_TRUE(p.wait_for("Playing")) << p.output();
    // jack_simple_client plays a sine of amplitude 0.2 (220.5 Hz on its first port).
    child sine({"jack_simple_client"}, dir + "/simple.log");
    ASSERT_EQ(shell("jack_wait -w -t 20 > /dev/null 2>&1; for i in $(seq 100); do "
                    "jack_lsp | grep -q jack_simple_client:output1 && break; sleep 0.1; done; "
                    "jack_disconnect system:capture_1 'tmodular:inport 0' && "
                    "jack_connect jack_simple_client:output1 'tmodular:inport 0'"),
              0);
    std::this_thread::sleep_for(500ms); // let the new input reach the program's output
    ASSERT_EQ(shell("jack_capture -d 2 --daemon -p 'tmodular:outport 0' " + dir + "/heard.wav > " +
                    dir + "/capture.log 2>&1"),
              0);
    sine.stop();
    EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
    // MICRO gives |x| of the input, the pump x * 32767 / 2.5: a rectified sine
    // of peak 0.2 * 32767 / 2.5 / 32768 and mean 2 / pi of that.
    const std::vector<float> heard = read_sound(dir + "/heard.wav").channel(0, 4410);
    ASSERT_GT(heard.size(), 44100u);
    const double top = 0.2 * 32767.0 / 2.5 / 32768.0;
    EXPECT_NEAR(peak(heard), top, top * 0.02);
    EXPECT_NEAR(mean(heard), top * 2 / M_PI, top * 0.03);
}

TEST(PulseLive, ASinePatchIsHeardOnANullSinkAndAFilePlayedIntoTheServerReachesMicro) {
    if (!installed("pulseaudio") || !installed("parecord") || !installed("paplay"))
        GTEST_SKIP() << "pulseaudio and pulseaudio-utils are not installed";
    const std::string dir = data_dir("PulseLive");
    pulse_server pulse(dir);
    ASSERT_TRUE(pulse.ready) << read_text(dir + "/pulse.log");
    const int out = device_number(dir, {"--audio", "pulse", "--driver", "99"}, "tm_out");
    ASSERT_GT(out, 0) << read_text(dir + "/devices.txt");
    const int in = device_number(
        dir, {"--audio", "pulse", "--driver", "1", "--record-driver", "99"}, "Monitor of tm_in");
    ASSERT_GT(in, 0) << read_text(dir + "/devices.txt");
    {
        SCOPED_TRACE("output");
        child p(program(dir, {"--audio", "pulse", "--driver", std::to_string(out),
                              "--record-driver", "none", dir + "/sine.tsy"}),
                dir + "/out.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        parecord(dir + "/heard.wav");
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        const std::vector<float> tone = sounding(dir + "/heard.wav", 2000);
        ASSERT_GT(tone.size(), 22050u);
        EXPECT_NEAR(crossing_frequency(tone), vco_sine_frequency(440.0), 1.0);
        EXPECT_NEAR(peak(tone), unit_level, 0.005);
    }
    {
        SCOPED_TRACE("recording");
        // The known input: a 500 Hz sine of amplitude 16384 for ten seconds.
        std::vector<short> input;
        for (int i = 0; i < 2 * 441000; ++i)
            input.push_back(static_cast<short>(
                std::lrint(16384.0 * std::sin(2 * M_PI * 500.0 * (i / 2) / 44100.0))));
        ASSERT_TRUE(write_wav(dir + "/in.wav", 44100, 2, input));
        child player({"paplay", "--device=tm_in", dir + "/in.wav"}, dir + "/paplay.log");
        child p(program(dir, {"--audio", "pulse", "--driver", std::to_string(out),
                              "--record-driver", std::to_string(in), dir + "/micro.tsy"}),
                dir + "/micro.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        std::this_thread::sleep_for(500ms);
        parecord(dir + "/micro.wav");
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        player.stop();
        const std::vector<float> heard = sounding(dir + "/micro.wav", 4410);
        ASSERT_GT(heard.size(), 22050u);
        // MICRO: |16384 / 32767|, then * 32767 / 2.5 into the output.
        const double top = 16384.0 / 2.5 / 32768.0;
        EXPECT_NEAR(peak(heard), top, top * 0.03);
        EXPECT_NEAR(mean(heard), top * 2 / M_PI, top * 0.04);
    }
}
