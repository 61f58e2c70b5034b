// MIDI without a device: the byte-stream decoder, the mono note priority, the
// budget of the note lines, controllers through parameter descriptions, soft
// takeover, bend, the clock's tempo and the transport.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "modules/keyboard.hpp"
#include "remote/midi_control.hpp"
#include "remote/midi_decoder.hpp"
#include "remote/midi_notes.hpp"
#include "util/messages.hpp"

using namespace tmod;

namespace {
// Events written as text so a failing case reads plainly: "on 1 60 100".
std::string text(const midi_event& e) {
    static const char* const kinds[] = {"on",    "off",   "cc",     "bend", "pressure",
                                        "clock", "start", "resume", "stop", "position"};
    std::string out = kinds[static_cast<int>(e.kind)];
    if (e.kind >= midi_kind::clock && e.kind <= midi_kind::stop) return out;
    if (e.kind != midi_kind::song_position) out += " " + std::to_string(e.channel);
    out += " " + std::to_string(e.data1);
    if (e.kind <= midi_kind::control) out += " " + std::to_string(e.data2);
    return out;
}

std::vector<std::string> decode(midi_decoder& d, const std::vector<std::uint8_t>& bytes) {
    std::vector<std::string> out;
    midi_event e{};
    for (std::uint8_t b : bytes)
        if (d.push(b, e)) out.push_back(text(e));
    return out;
}

struct decoder_case {
    const char* what;
    int channel;
    std::vector<std::vector<std::uint8_t>> reads; // bytes as separate reads of one port
    std::vector<std::string> expected;
};
} // namespace

TEST(MidiDecoder, StreamsAsTheTableSays) {
    const decoder_case cases[] = {
        {"note on and off", 0, {{0x90, 60, 100, 0x80, 60, 64}}, {"on 1 60 100", "off 1 60 64"}},
        {"running status, velocity 0 is a note-off",
         0,
         {{0x93, 60, 100, 62, 90, 60, 0}},
         {"on 4 60 100", "on 4 62 90", "off 4 60 0"}},
        {"a message split across reads", 0, {{0x90}, {69}, {127}}, {"on 1 69 127"}},
        {"real-time bytes inside a message",
         0,
         {{0x90, 0xF8, 60, 0xFE, 0xFA, 100, 0xFB, 0xFC}},
         {"clock", "start", "on 1 60 100", "resume", "stop"}},
        {"SysEx across reads, then running status is gone",
         0,
         {{0x90, 60, 100, 0xF0, 1, 2}, {3, 4, 0x10, 5}, {6, 0xF7, 61, 100, 0x80, 60, 0}},
         {"on 1 60 100", "off 1 60 0"}},
        {"a SysEx ended by a status byte instead of F7",
         0,
         {{0xF0, 0x7E, 0x7F, 0xB0, 64, 127}},
         {"cc 1 64 127"}},
        {"a truncated message is dropped, the next one plays",
         0,
         {{0x90, 60, 0x80, 61, 0}},
         {"off 1 61 0"}},
        {"data with no status before it", 0, {{60, 100, 0xB2, 123, 0}}, {"cc 3 123 0"}},
        {"program change and key pressure do not play; bend and channel pressure do",
         0,
         {{0xC0, 5, 6, 0xE0, 0, 64, 0x7F, 0x7F, 0xD0, 9, 0xA0, 60, 1, 0x90, 60, 1}},
         {"bend 1 8192", "bend 1 16383", "pressure 1 9", "on 1 60 1"}},
        {"system common clears running status; the song position is LSB first",
         0,
         {{0x90, 60, 100, 0xF2, 1, 2, 62, 100, 0xF6, 63, 1}},
         {"on 1 60 100", "position 257"}},
        {"channel filter, which the clock and the transport pass",
         2,
         {{0x90, 60, 100, 0x91, 61, 100, 0x81, 61, 0, 0xB0, 64, 127, 0xE0, 0, 0, 0xF8, 0xFA}},
         {"on 2 61 100", "off 2 61 0", "clock", "start"}},
        {"channel 16", 16, {{0x9F, 60, 100}}, {"on 16 60 100"}},
    };
    for (const decoder_case& c : cases) {
        midi_decoder d(c.channel);
        std::vector<std::string> got;
        for (const auto& read : c.reads)
            for (std::string& s : decode(d, read)) got.push_back(s);
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

TEST(MidiDecoder, ALongSysExAndGarbageLeaveTheDecoderPlaying) {
    midi_decoder d;
    std::vector<std::uint8_t> sysex{0xF0};
    for (int i = 0; i < 100000; ++i) sysex.push_back(static_cast<std::uint8_t>(i & 0x7F));
    EXPECT_TRUE(decode(d, sysex).empty());
    std::vector<std::uint8_t> noise;
    for (int i = 0; i < 4096; ++i) noise.push_back(static_cast<std::uint8_t>((i * 77 + 13) & 0xFF));
    decode(d, noise); // whatever it makes of it, it must not harm what follows
    EXPECT_EQ(decode(d, {0xF7, 0x90, 64, 80}), std::vector<std::string>{"on 1 64 80"});
}

namespace {
midi_event on(int n) {
    return {midi_kind::note_on, 1, n, 100};
}
midi_event off(int n) {
    return {midi_kind::note_off, 1, n, 0};
}
midi_event cc(int number, int value) {
    return {midi_kind::control, 1, number, value};
}

std::string act(const note_action& a) {
    switch (a.kind) {
    case note_action::trigger:
        return "trigger " + std::to_string(a.note);
    case note_action::retune:
        return "retune " + std::to_string(a.note);
    case note_action::release:
        return "release";
    default:
        return "-";
    }
}

struct notes_case {
    const char* what;
    std::vector<midi_event> events;
    std::vector<std::string> expected; // one action per event
};
} // namespace

TEST(MonoNotes, LastNotePriorityPedalAndAllOff) {
    const notes_case cases[] = {
        {"one note", {on(60), off(60)}, {"trigger 60", "release"}},
        {"the newest still held comes back without a pulse",
         {on(60), on(64), on(67), off(67), off(60), off(64)},
         {"trigger 60", "trigger 64", "trigger 67", "retune 64", "-", "release"}},
        {"releasing an older note keeps the pitch",
         {on(60), on(62), off(60), off(62)},
         {"trigger 60", "trigger 62", "-", "release"}},
        {"a note-off for a note never held", {off(50), on(50), off(51)}, {"-", "trigger 50", "-"}},
        {"a key pressed twice is held once",
         {on(60), on(62), on(60), off(60), off(62)},
         {"trigger 60", "trigger 62", "trigger 60", "retune 62", "release"}},
        {"the pedal holds the gate until it is up",
         {cc(64, 127), on(60), off(60), cc(64, 0)},
         {"-", "trigger 60", "-", "release"}},
        {"pedal up with a key still down keeps the gate",
         {on(60), cc(64, 100), cc(64, 10), off(60)},
         {"trigger 60", "-", "-", "release"}},
        {"all notes off and all sound off close the gate",
         {on(60), on(62), cc(123, 0), off(62), on(70), cc(120, 0)},
         {"trigger 60", "trigger 62", "release", "-", "trigger 70", "release"}},
        {"all notes off wins over the pedal",
         {cc(64, 127), on(60), cc(123, 0), off(60), cc(64, 0)},
         {"-", "trigger 60", "release", "-", "-"}},
        {"other controllers do nothing", {on(60), cc(1, 90), cc(7, 0)}, {"trigger 60", "-", "-"}},
        // Entry m - 11 of the table: MIDI 0..10 have none.
        {"notes below the table",
         {on(10), off(10), on(11), off(11)},
         {"-", "-", "trigger 11", "release"}},
    };
    for (const notes_case& c : cases) {
        mono_notes notes;
        std::vector<std::string> got;
        for (const midi_event& e : c.events) got.push_back(act(notes.on_event(e)));
        EXPECT_EQ(got, c.expected) << c.what;
    }
}

// A flood of notes prints a hundred note lines a second, then one notice, and
// plays every note all the same; the next second prints again.
TEST(MidiNoteLines, ShareTheOutputBudgetOfTheRemoteLines) {
    KEYBOARD k;
    k.octave = 4;
    output_budget budget;
    const auto t0 = output_budget::clock::now();
    message_capture said;
    for (int i = 0; i < 150; ++i)
        play_note_action(k, {note_action::trigger, 40 + i % 50}, budget,
                         t0 + std::chrono::milliseconds(i * 6));
    // MIDI note m reaches the keyboard as m - 11 - 12 * 4.
    EXPECT_EQ(k.note, 40 + 149 % 50 - 59);
    std::vector<std::string> expected;
    for (int i = 0; i < 100; ++i) expected.push_back("[" + std::to_string(40 + i % 50 - 59) + "]");
    expected.push_back("MIDI: more than 100 notes a second; the rest of this second is not shown");
    EXPECT_EQ(said.lines(), expected);
    play_note_action(k, {note_action::trigger, 72}, budget, t0 + std::chrono::seconds(1));
    EXPECT_EQ(said.lines().back(), "[13]");
}

TEST(MidiOptions, PortsAddUpAndBadValuesAreRefused) {
    auto parse = [](std::vector<const char*> args, options& o, std::string& error) {
        args.insert(args.begin(), "tmodular");
        return parse_command_line(static_cast<int>(args.size()), args.data(), o, error);
    };
    options o;
    std::string error;
    ASSERT_TRUE(
        parse({"--midi", "2", "--midi", "Keystation", "--midi-api", "jack", "--midi-channel", "10"},
              o, error))
        << error;
    EXPECT_EQ(o.midi_ports, (std::vector<std::string>{"2", "Keystation"}));
    EXPECT_EQ(o.midi_api, "jack");
    EXPECT_EQ(o.midi_channel, 10);
    EXPECT_EQ(o.midi_bend, 2) << "a whole bend is two semitones unless said";
    EXPECT_FALSE(o.midi_clock);
    options c;
    ASSERT_TRUE(parse({"--midi-bend", "0", "--midi-clock"}, c, error)) << error;
    EXPECT_EQ(c.midi_bend, 0);
    EXPECT_TRUE(c.midi_clock);
    const std::vector<const char*> bad[] = {{"--midi-channel", "0"}, {"--midi-channel", "17"},
                                            {"--midi-api", "pulse"}, {"--midi", ""},
                                            {"--midi-bend", "49"},   {"--midi-bend", "-1"}};
    for (const auto& args : bad) {
        options b;
        EXPECT_FALSE(parse(args, b, error)) << args[0] << " " << args[1];
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
    }
}

namespace {
param_desc described(double lo, double hi, step_rule rule, float size = 0.0f) {
    param_desc d;
    d.get = [](const OUTPUT&, int) { return 0.0; };
    d.set = [](OUTPUT&, int, double) {};
    return d.range(lo, hi, lo).steps(rule, size);
}
} // namespace

// Expected values: the position cc / 127 along the range (logarithmic for
// frequency-like rules), snapped by hand to the grid of the rule.
TEST(MidiControllers, LandOnTheGridOfEachKindOfParameter) {
    struct cc_case {
        const char* what;
        param_desc d;
        int cc;
        bool inverted;
        double expected;
    };
    const cc_case cases[] = {
        {"toggle off below 64", described(0, 1, step_rule::toggle), 63, false, 0},
        {"toggle on from 64", described(0, 1, step_rule::toggle), 64, false, 1},
        {"inverted toggle", described(0, 1, step_rule::toggle), 64, true, 0},
        {"inverted toggle, low", described(0, 1, step_rule::toggle), 10, true, 1},
        {"enumeration, bottom", described(0, 7, step_rule::cycle), 0, false, 0},
        {"enumeration, top", described(0, 7, step_rule::cycle), 127, false, 7},
        {"enumeration, 64 / 127 * 7 = 3.53", described(0, 7, step_rule::cycle), 64, false, 4},
        {"enumeration, 18 / 127 * 7 = 0.99", described(0, 7, step_rule::cycle), 18, false, 1},
        {"inverted enumeration", described(0, 7, step_rule::cycle), 0, true, 7},
        {"cut-off, 12000^(64/127) = 113.7 on the 10 Hz band",
         described(1, 12000, step_rule::cutoff), 64, false, 110},
        {"cut-off, 1629.1 on the 25 Hz band", described(1, 12000, step_rule::cutoff), 100, false,
         1625},
        {"cut-off, 9.2 on the 1 Hz band", described(1, 12000, step_rule::cutoff), 30, false, 9},
        {"cut-off, top", described(1, 12000, step_rule::cutoff), 127, false, 12000},
        {"inverted cut-off", described(1, 12000, step_rule::cutoff), 127, true, 1},
        {"frequency, 5.019 on the 0.0125 grid", described(0.001, 22050, step_rule::bands), 64,
         false, 5.025},
        {"frequency, 159.95 on the 1 Hz grid", described(0.001, 22050, step_rule::bands), 90, false,
         160},
        {"frequency, 0.2055 on the 0.00625 grid", described(0.001, 22050, step_rule::bands), 40,
         false, 0.20625},
        {"frequency, bottom", described(0.001, 22050, step_rule::bands), 0, false, 0.001},
        {"amplitude, zero at the bottom", described(0, 22050, step_rule::amplitude_bands), 0, false,
         0},
        {"amplitude, top", described(0, 22050, step_rule::amplitude_bands), 127, false, 22050},
        {"fixed steps, 0.504 -> 0.5", described(0, 1, step_rule::fixed, 0.05f), 64, false, 0.5},
        {"fixed steps, 0.551 -> 0.55", described(0, 1, step_rule::fixed, 0.05f), 70, false, 0.55},
        {"doubling, 2.03 -> 2", described(0.25, 16, step_rule::doubling), 64, false, 2},
        {"doubling, 6.61 -> 8", described(0.25, 16, step_rule::doubling), 100, false, 8},
        {"not stepped: linear", described(-1, 1, step_rule::none), 127, false, 1},
        {"not stepped, inverted", described(-1, 1, step_rule::none), 127, true, -1},
        {"a wild controller value is held in 0..127", described(0, 7, step_rule::cycle), 999, false,
         7},
    };
    for (const cc_case& c : cases)
        EXPECT_NEAR(controller_value(c.d, c.cc, c.inverted), c.expected, 1e-6) << c.what;
    EXPECT_TRUE(spans_range(described(0, 1, step_rule::toggle)));
    EXPECT_FALSE(spans_range(described(0, unbounded, step_rule::doubling)));
}

TEST(MidiControllers, SoftTakeoverWaitsForACrossingEitherWay) {
    struct step {
        double current, wanted;
        bool applied;
    };
    struct takeover_case {
        const char* what;
        std::vector<step> steps;
    };
    const takeover_case cases[] = {
        {"from below: taken once past the value",
         {{0.5, 0.1, false}, {0.5, 0.4, false}, {0.5, 0.6, true}, {0.6, 0.7, true}}},
        {"from above: taken on the value itself",
         {{0.5, 0.9, false}, {0.5, 0.8, false}, {0.5, 0.5, true}, {0.5, 0.3, true}}},
        {"the first message on the value is taken", {{0.5, 0.5, true}}},
        {"a mouse change lets go until crossed again",
         {{0.5, 0.6, false},
          {0.5, 0.4, true},
          {0.2, 0.45, false},
          {0.2, 0.3, false},
          {0.2, 0.1, true}}},
        {"a change still queued (the old value) keeps it",
         {{0.5, 0.5, true}, {0.5, 0.55, true}, {0.5, 0.6, true}, {0.6, 0.62, true}}},
    };
    for (const takeover_case& c : cases) {
        soft_takeover t;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const step& s = c.steps[i];
            const bool applied = t.follow(s.current, s.wanted);
            EXPECT_EQ(applied, s.applied) << c.what << ", message " << i;
            if (applied) t.set(s.current, s.wanted);
        }
    }
}

TEST(MidiBend, WholeBendIsTheRangeBothWays) {
    EXPECT_NEAR(bend_ratio(16383, 2) * 440.0, 493.883, 0.001); // 440 * 2^(2/12)
    EXPECT_NEAR(bend_ratio(0, 2) * 440.0, 391.995, 0.001);     // 440 * 2^(-2/12)
    EXPECT_EQ(bend_ratio(8192, 2), 1.0);
    EXPECT_NEAR(bend_ratio(16383, 12), 2.0, 1e-12);
    EXPECT_EQ(bend_ratio(16383, 0), 1.0);
    EXPECT_NEAR(bend_ratio(-5, 2), bend_ratio(0, 2), 1e-15);
    EXPECT_NEAR(bend_ratio(99999, 2), bend_ratio(16383, 2), 1e-15);
}

TEST(MidiClock, JitteredPulsesGiveASteadyTempo) {
    clock_tempo c;
    double t = 0.0;
    unsigned seed = 7;
    // +-4 ms of jitter on every pulse, from a fixed sequence.
    auto jitter = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return (static_cast<int>((seed >> 16) % 801) - 400) / 100000.0;
    };
    auto run = [&](double bpm, int pulses) {
        std::vector<int> got;
        for (int i = 0; i < pulses; ++i) {
            t += 60.0 / bpm / 24.0;
            got.push_back(c.pulse(t + jitter()));
        }
        return got;
    };
    std::vector<int> first = run(120, 400);
    EXPECT_EQ(first[46], 0) << "fewer than two beats give no tempo yet";
    for (std::size_t i = 47; i < first.size(); ++i) ASSERT_EQ(first[i], 120) << "pulse " << i;
    // A new tempo is followed once the window holds it.
    std::vector<int> slower = run(90, 200);
    EXPECT_EQ(slower.back(), 90);
    // Two seconds without pulses: the tempo stays, then the new clock rules alone.
    t += 3.0;
    std::vector<int> again = run(140, 60);
    EXPECT_EQ(again[0], 90);
    EXPECT_EQ(again.back(), 140);
}

TEST(MidiTransport, StartStopContinueAndSongPosition) {
    using o = transport_order;
    transport tr;
    EXPECT_EQ(tr.resume(), (o{o::resume, 0})) << "Continue from the start-up stop";
    EXPECT_EQ(tr.start(), (o{o::run_from, 0}));
    EXPECT_EQ(tr.position(16), o{}) << "a position while running is not honoured";
    EXPECT_EQ(tr.stop(), (o{o::stop, 0}));
    EXPECT_EQ(tr.stop(), o{}) << "already stopped";
    EXPECT_EQ(tr.resume(), (o{o::resume, 0}));
    EXPECT_EQ(tr.resume(), o{}) << "already running";
    EXPECT_EQ(tr.start(), (o{o::run_from, 0})) << "Start while running restarts";
    EXPECT_EQ(tr.stop(), (o{o::stop, 0}));
    EXPECT_EQ(tr.position(32), o{});
    EXPECT_EQ(tr.position(40), o{});
    EXPECT_EQ(tr.resume(), (o{o::run_from, 40})) << "the last position received while stopped";
    EXPECT_TRUE(tr.running());
    EXPECT_EQ(tr.stop(), (o{o::stop, 0}));
    EXPECT_EQ(tr.resume(), (o{o::resume, 0})) << "the position was used once";
}
