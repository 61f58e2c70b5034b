// MIDI end to end: a JACK MIDI client of the test's own plays the real program
// running headless on a JACK dummy server, and the program's recording is
// checked for the notes' pitches, last-note priority, the sustain pedal and
// silence. The waits are on the recording's length, never on the clock.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "support/harness.hpp"

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
        std::unique_lock<std::mutex> lock(self->mutex_, std::try_to_lock);
        if (!lock) return 0;
        for (const auto& m : self->pending_)
            jack_midi_event_write(buffer, 0, m.data(), m.size());
        self->pending_.clear();
        return 0;
    }
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
