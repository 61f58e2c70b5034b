// MIDI without a device: the byte-stream decoder, the mono note priority and
// the budget of the note lines.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "modules/keyboard.hpp"
#include "remote/midi_decoder.hpp"
#include "remote/midi_notes.hpp"
#include "util/messages.hpp"

using namespace tmod;

namespace {
// Events written as text so a failing case reads plainly: "on 1 60 100".
std::string text(const midi_event& e) {
    const char* kind = e.kind == midi_kind::note_on    ? "on"
                       : e.kind == midi_kind::note_off ? "off"
                                                       : "cc";
    return std::string(kind) + " " + std::to_string(e.channel) + " " + std::to_string(e.data1) +
           " " + std::to_string(e.data2);
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
        {"real-time bytes inside a message", 0, {{0x90, 0xF8, 60, 0xFE, 100}}, {"on 1 60 100"}},
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
        {"one- and two-byte messages that do not play",
         0,
         {{0xC0, 5, 6, 0xE0, 0, 64, 0xD0, 9, 0xA0, 60, 1, 0x90, 60, 1}},
         {"on 1 60 1"}},
        {"system common clears running status",
         0,
         {{0x90, 60, 100, 0xF2, 1, 2, 62, 100, 0xF6, 63, 1}},
         {"on 1 60 100"}},
        {"channel filter",
         2,
         {{0x90, 60, 100, 0x91, 61, 100, 0x81, 61, 0, 0xB0, 64, 127}},
         {"on 2 61 100", "off 2 61 0"}},
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
    const std::vector<const char*> bad[] = {
        {"--midi-channel", "0"}, {"--midi-channel", "17"}, {"--midi-api", "pulse"}, {"--midi", ""}};
    for (const auto& args : bad) {
        options b;
        EXPECT_FALSE(parse(args, b, error)) << args[0] << " " << args[1];
        EXPECT_NE(error.find(args[0]), std::string::npos) << error;
    }
}
