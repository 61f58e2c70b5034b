// MIDI end to end: a JACK MIDI client of the test's own plays the real program
// running headless on a JACK dummy server, and the program's recording is
// checked for the notes' pitches, last-note priority, the sustain pedal,
// silence, pitch bend, a mapped controller, and the sequencer on the client's
// clock. The waits are on the recording's length, never on the clock.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "support/harness.hpp"
#include "support/window_support.hpp"

using namespace tmod::test;

namespace {

bool installed(const char* tool) {
    return shell(std::string("command -v ") + tool + " > /dev/null 2>&1") == 0;
}

// A JACK server with the dummy driver under a name of this process.
struct jack_server {
    std::unique_ptr<child> server;
    bool ready = false;
    explicit jack_server(const std::string& dir) {
        const std::string name = "tmmidi" + std::to_string(getpid());
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
        server = std::make_unique<child>(
            std::vector<std::string>{"jackd", "--no-realtime", "-d", "dummy", "-r", "44100", "-p",
                                     "1024"},
            dir + "/jackd.log");
        ready = shell("jack_wait -w -t 20 > /dev/null 2>&1") == 0;
    }
    ~jack_server() {
        server.reset();
        unsetenv("JACK_DEFAULT_SERVER");
    }
};

// The MIDI keyboard: a JACK client "tm_keys" with one MIDI output port "out";
// each message sent goes out in the next process cycle.
class jack_keys {
  public:
    jack_keys() {
        client_ = jack_client_open("tm_keys", JackNoStartServer, nullptr);
        if (!client_) return;
        port_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, process, this);
        if (!port_ || jack_activate(client_) != 0) close();
    }
    ~jack_keys() { close(); }
    bool ok() const { return client_ != nullptr; }
    // MIDI clock at `bpm` (0: none), sent at exact frames of the server.
    void clock(double bpm) { clock_bpm_ = bpm; }
    void send(std::vector<unsigned char> bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        pending_.push_back(std::move(bytes));
    }
    void close() {
        if (client_) jack_client_close(client_);
        client_ = nullptr;
    }

  private:
    static int process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<jack_keys*>(arg);
        void* buffer = jack_port_get_buffer(self->port_, frames);
        jack_midi_clear_buffer(buffer);
        {
            std::unique_lock<std::mutex> lock(self->mutex_, std::try_to_lock);
            if (lock) {
                for (const auto& m : self->pending_)
                    jack_midi_event_write(buffer, 0, m.data(), m.size());
                self->pending_.clear();
            }
        }
        const double bpm = self->clock_bpm_;
        if (bpm <= 0.0) {
            self->next_pulse_ = 0.0;
            return 0;
        }
        const unsigned char pulse = 0xF8;
        for (; self->next_pulse_ < frames; self->next_pulse_ += 44100.0 * 60.0 / (bpm * 24.0))
            jack_midi_event_write(buffer, static_cast<jack_nframes_t>(self->next_pulse_), &pulse,
                                  1);
        self->next_pulse_ -= frames;
        return 0;
    }
    std::atomic<double> clock_bpm_{0.0};
    double next_pulse_ = 0.0; // the frame of the next pulse in this period (process thread)
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    std::mutex mutex_;
    std::vector<std::vector<unsigned char>> pending_;
};

// A sine oscillator on the keyboard's pitch through an envelope on its gate.
std::string keyboard_patch(int octave) {
    return tsy("KEY_1;OCTAVE=" + std::to_string(octave) +
                   ";\nVCO_1;TYPE=1;FREQ=44;\n"
                   "VCA_1;BYPASS=0;ATTACK=1;DECAY=1;SUSTAIN=1;RELEASE=1;\nSOUND_OUTPUT_1;;\n",
               "VCO_1;IN=KEY_1;\nVCA_1;IN=VCO_1;GATE=KEY_1;\nSOUND_OUTPUT_1;IN=VCA_1;\n");
}

// Equal temperament on A4 = 440 Hz.
double midi_frequency(int note) {
    return 440.0 * std::pow(2.0, (note - 69) / 12.0);
}

constexpr long settle = 8820; // 0.2 s: the note has surely reached the recording
constexpr long span = 17640;  // then 0.4 s are measured

} // namespace

TEST(MidiLive, AJackKeyboardPlaysConcertPitchAtAnyOctaveWithLastNotePriorityAndThePedal) {
    if (!installed("jackd") || !installed("jack_wait")) GTEST_SKIP() << "jackd2 is not installed";
    const std::string dir = scratch_dir("MidiLive");
    mkdir((dir + "/TSY").c_str(), 0755);
    jack_server jack(dir);
    ASSERT_TRUE(jack.ready) << read_text(dir + "/jackd.log");
    jack_keys keys;
    ASSERT_TRUE(keys.ok());

    {
        SCOPED_TRACE("an unknown port");
        child p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir, "--audio", "jack",
                 "--midi", "no_such_keyboard"},
                dir + "/unknown.txt");
        EXPECT_EQ(p.stop(0), 2) << p.output();
        EXPECT_NE(p.output().find("--midi no_such_keyboard: no such MIDI input port"),
                  std::string::npos)
            << p.output();
        EXPECT_NE(p.output().find("1 - tm_keys:out\n"), std::string::npos) << p.output();
    }

    for (int octave : {1, 6}) {
        SCOPED_TRACE("OCTAVE=" + std::to_string(octave));
        const std::string patch = dir + "/keys" + std::to_string(octave) + ".tsy";
        const std::string played = dir + "/played" + std::to_string(octave) + ".wav";
        write_text(patch, keyboard_patch(octave));
        child p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir, "--audio", "jack",
                 "--record-driver", "none", "--midi", "tm_keys", "--record", played, patch},
                dir + "/out" + std::to_string(octave) + ".txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        EXPECT_NE(p.output().find("MIDI: playing from the JACK port \"tm_keys:out\""),
                  std::string::npos);
        ASSERT_TRUE(wait_until([&] { return recorded_frames(played) > 0; }));

        // Each step: what is sent, then what the next half second sounds like
        // (0 Hz: silence).
        struct step {
            std::vector<unsigned char> midi;
            double hz;
        };
        const step steps[] = {
            {{0x90, 69, 100}, midi_frequency(69)},
            {{0x90, 60, 100}, midi_frequency(60)},      // newest note wins
            {{0x80, 60, 0}, midi_frequency(69)},        // back to the one still held
            {{0xB0, 64, 127, 0x80, 69, 0}, midi_frequency(69)}, // pedal down, key up
            {{0xB0, 64, 0}, 0.0},                       // pedal up: released
            {{0x90, 5, 100}, 0.0},                      // no table entry: ignored
            {{0x90, 60, 100}, midi_frequency(60)},
            {{0x90, 60, 0}, 0.0},                       // velocity 0 is a note-off
        };
        std::vector<long> marks;
        for (const step& s : steps) {
            const long mark = recorded_frames(played);
            keys.send(s.midi);
            ASSERT_TRUE(wait_until([&] { return recorded_frames(played) >= mark + settle + span; }));
            marks.push_back(mark);
        }
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        const sound r = read_sound(played);
        for (std::size_t i = 0; i < marks.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const std::size_t from = static_cast<std::size_t>(marks[i] + settle);
            const std::vector<float> part = r.channel(0, from, from + span);
            ASSERT_EQ(part.size(), static_cast<std::size_t>(span));
            if (steps[i].hz == 0.0) {
                EXPECT_LT(peak(part), 1e-3);
            } else {
                EXPECT_GT(peak(part), 0.1);
                EXPECT_NEAR(crossing_frequency(part), vco_sine_frequency(steps[i].hz), 1.5);
            }
        }
    }

    {
        SCOPED_TRACE("the keyboard goes away");
        const std::string played = dir + "/gone.wav";
        child p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir, "--audio", "jack",
                 "--record-driver", "none", "--midi", "1", "--record", played,
                 dir + "/keys1.tsy"},
                dir + "/gone.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        keys.close();
        ASSERT_TRUE(p.wait_for("is gone; playing on without it")) << p.output();
        const long after = recorded_frames(played);
        ASSERT_TRUE(wait_until([&] { return recorded_frames(played) >= after + 44100; }));
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        const std::string out = p.output();
        const std::size_t first = out.find("is gone");
        EXPECT_EQ(out.find("is gone", first + 1), std::string::npos) << "said once";
    }
}

namespace {
// The first frame of each sound that follows at least 20 ms of silence.
std::vector<long> onsets(const std::vector<float>& x) {
    std::vector<long> at;
    long quiet = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float a = std::fabs(x[i]);
        if (a > 0.02f && quiet >= 882) at.push_back(static_cast<long>(i));
        quiet = a < 0.002f ? quiet + 1 : a > 0.02f ? 0 : quiet;
    }
    return at;
}
} // namespace

TEST(MidiLive, BendAMappedControllerAndTheSequencerOnTheClock) {
    if (!installed("jackd") || !installed("jack_wait")) GTEST_SKIP() << "jackd2 is not installed";
    const std::string dir = scratch_dir("MidiLiveControl");
    mkdir((dir + "/TSY").c_str(), 0755);
    mkdir((dir + "/PARTITIONS").c_str(), 0755);
    jack_server jack(dir);
    ASSERT_TRUE(jack.ready) << read_text(dir + "/jackd.log");
    jack_keys keys;
    ASSERT_TRUE(keys.ok());

    // Sends the bytes and returns the frame of the recording where they went out.
    auto send_and_wait = [&](const std::string& played, std::vector<unsigned char> midi,
                             long frames) {
        const long mark = recorded_frames(played);
        if (!midi.empty()) keys.send(std::move(midi));
        EXPECT_TRUE(wait_until([&] { return recorded_frames(played) >= mark + frames; }));
        return mark;
    };

    {
        SCOPED_TRACE("bend and a controller mapped to the oscillator's amplitude");
        const std::string patch = dir + "/bend.tsy";
        const std::string played = dir + "/bend.wav";
        // One control, two sources: CC 7 and the velocity.
        write_text(patch, keyboard_patch(4) + "BEGIN_MIDI_MAP_DECLARE\n7;1;VCO_1;AMOUNT;0\n"
                                              "VELOCITY;1;VCO_1;AMOUNT;0\nEND_MIDI_MAP_DECLARE\n");
        child p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir, "--audio", "jack",
                 "--record-driver", "none", "--midi", "tm_keys", "--record", played, patch},
                dir + "/bend.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        ASSERT_TRUE(wait_until([&] { return recorded_frames(played) > 0; }));
        // The amplitude at CC value v: 0.001 * (22050 / 0.001)^(v / 127) on its band's
        // grid (0.00625 from 0.1 to 1, 0.0125 from 1 to 10).
        auto amount = [](int v) {
            const double a = 0.001 * std::pow(22050 / 0.001, v / 127.0);
            const double grid = a < 1.0 ? 0.00625 : 0.0125;
            return std::round(a / grid) * grid;
        };
        ASSERT_NEAR(amount(45), 0.4, 1e-9);
        const double at_52 = amount(52); // 1.0157 on the 0.0125 grid: 1.0125
        ASSERT_NEAR(at_52, 1.0125, 1e-9);
        struct step {
            std::vector<unsigned char> midi;
            double hz;
            double level; // relative to the first step's
        };
        const step steps[] = {
            {{0x90, 69, 52}, 440.0, 1.0},
            {{0xE0, 0x7F, 0x7F}, 440.0 * std::pow(2.0, 2.0 / 12.0), 1.0},          // 493.9 Hz
            {{0x90, 60, 52}, midi_frequency(60) * std::pow(2.0, 2.0 / 12.0), 1.0}, // kept
            {{0xE0, 0x00, 0x40}, midi_frequency(60), 1.0},
            {{0xB0, 7, 40}, midi_frequency(60), 1.0}, // below the amplitude: not taken
            {{0xB0, 7, 60, 0xB0, 7, 45}, midi_frequency(60), amount(45) / at_52}, // crossed
            {{0x90, 62, 40}, midi_frequency(62), amount(40) / at_52}, // velocity 40: 0.20625
        };
        std::vector<long> marks;
        for (const step& s : steps) marks.push_back(send_and_wait(played, s.midi, settle + span));
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        const sound r = read_sound(played);
        float first = 0.0f;
        for (std::size_t i = 0; i < marks.size(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i));
            const std::size_t from = static_cast<std::size_t>(marks[i] + settle);
            const std::vector<float> part = r.channel(0, from, from + span);
            ASSERT_EQ(part.size(), static_cast<std::size_t>(span));
            EXPECT_NEAR(crossing_frequency(part), vco_sine_frequency(steps[i].hz), 1.5);
            if (i == 0) first = peak(part);
            EXPECT_NEAR(peak(part) / first, steps[i].level, 0.02);
        }
    }

    {
        SCOPED_TRACE("demo_bassline on a clock of 120 BPM: Start, then Stop");
        const std::string data = TM_SOURCE_DATA_DIR;
        write_text(dir + "/TSY/demo_bassline.tsy", read_text(data + "/TSY/demo_bassline.tsy"));
        write_text(dir + "/PARTITIONS/demo_bassline.PAR",
                   read_text(data + "/PARTITIONS/demo_bassline.PAR"));
        const std::string played = dir + "/bassline.wav";
        keys.clock(120.0);
        child p({TM_PROGRAM, "--headless", "--remote-port", "0", "--data", dir, "--audio", "jack",
                 "--record-driver", "none", "--midi", "tm_keys", "--midi-clock", "--record", played,
                 dir + "/TSY/demo_bassline.tsy"},
                dir + "/bassline.txt");
        ASSERT_TRUE(p.wait_for("Playing")) << p.output();
        ASSERT_TRUE(wait_until([&] { return recorded_frames(played) > 0; }));
        // Two seconds of clock: the sequencer stands until Start.
        const long standing = send_and_wait(played, {}, 2 * 44100);
        const long started = send_and_wait(played, {0xFA}, 3 * 44100);
        const long stopped = send_and_wait(played, {0xFC}, 44100);
        EXPECT_EQ(p.stop(SIGTERM), 0) << p.output();
        keys.clock(0.0);
        const sound r = read_sound(played);
        EXPECT_LT(peak(r.channel(0, standing, started)), 1e-3) << "standing before Start";
        // After Stop the gate closes; the envelope's 40 ms release dies out.
        EXPECT_LT(peak(r.channel(0, stopped + 8820, stopped + 44100)), 1e-3) << "Stop";
        const std::vector<long> at = onsets(r.channel(0, started, stopped));
        ASSERT_GE(at.size(), 6u);
        bool odd = false; // an interval of an odd number of steps: not 60 BPM's 0.25 s
        for (std::size_t i = 1; i < at.size(); ++i) {
            const double steps_apart = (at[i] - at[0]) / 5512.5;
            EXPECT_NEAR(steps_apart, std::round(steps_apart), 0.03) << "onset " << i;
            odd = odd || static_cast<long>(std::round(steps_apart)) % 2 == 1;
        }
        EXPECT_TRUE(odd);
    }
}

// Learn in the editor's window, save, open the saved patch again: the
// controller drives the knob, as the next save shows.
TEST(MidiLive, AKnobLearnedInTheEditorIsSavedAndDrivenAfterAReload) {
    if (!installed("jackd") || !installed("jack_wait")) GTEST_SKIP() << "jackd2 is not installed";
    if (!have_xdotool() || !std::getenv("DISPLAY")) GTEST_SKIP() << "no display or no xdotool";
    const std::string dir = scratch_dir("MidiLiveLearn");
    const std::string data = data_copy(dir);
    jack_server jack(dir);
    ASSERT_TRUE(jack.ready) << read_text(dir + "/jackd.log");
    jack_keys keys;
    ASSERT_TRUE(keys.ok());
    const std::string patch = data + "/TSY/learn.tsy";
    write_text(patch, tsy("VCF_1;HICUT=300;Q=1.0;GAIN=0.0;TYPE=1;BYPASS=0;\n", "VCF_1;\n"));
    auto editor = [&](const std::string& log) {
        return std::make_unique<child>(std::vector<std::string>{TM_PROGRAM, "--audio", "jack",
                                                                "--record-driver", "none",
                                                                "--remote-port", "0", "--midi",
                                                                "tm_keys", "--data", data, patch},
                                       dir + "/" + log);
    };
    // Saves with Ctrl+S until the file holds `text`.
    auto saved_with = [&](const std::string& text) {
        return wait_until([&] {
            xdo("key ctrl+s");
            return read_text(patch).find(text) != std::string::npos;
        });
    };
    {
        auto p = editor("learn.txt");
        ASSERT_TRUE(editor_shown(*p)) << p->output();
        // The cut-off knob of the only panel, below the dashboards.
        xdo("mousemove 34 250");
        xdo("keydown ctrl click 1 keyup ctrl");
        ASSERT_TRUE(p->wait_for("MIDI learn: move a controller for VCF_1 HICUT")) << p->output();
        keys.send({0xB0, 74, 5});
        ASSERT_TRUE(p->wait_for("MIDI learn: VCF_1 HICUT <- CC 74 channel 1")) << p->output();
        EXPECT_TRUE(saved_with("BEGIN_MIDI_MAP_DECLARE\n74;1;VCF_1;HICUT;0\nEND_MIDI_MAP_DECLARE"))
            << read_text(patch);
        EXPECT_NE(read_text(patch).find("VCF_1;HICUT=300;"), std::string::npos)
            << "learning moved nothing";
        EXPECT_EQ(p->stop(SIGTERM), 0) << p->output();
    }
    {
        auto p = editor("again.txt");
        ASSERT_TRUE(editor_shown(*p)) << p->output();
        // From below 300 Hz to above it: taken over, and the last value lands
        // (12000^(90/127) = 777.6 Hz, on the 10 Hz band).
        const int expected = static_cast<int>(std::round(std::pow(12000.0, 90 / 127.0) / 10) * 10);
        ASSERT_EQ(expected, 780);
        keys.send({0xB0, 74, 40});
        keys.send({0xB0, 74, 90});
        EXPECT_TRUE(saved_with("VCF_1;HICUT=780;")) << read_text(patch);
        EXPECT_EQ(p->stop(SIGTERM), 0) << p->output();
    }
}
