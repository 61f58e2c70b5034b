// Remote control without sockets: lines cut from scripted chunks exactly as a
// connection receives them, and play commands applied to "KEY_1".
#include <gtest/gtest.h>

#include <deque>

#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "remote/line_reader.hpp"
#include "remote/play_command.hpp"
#include "support/harness.hpp"
#include "util/alloc_tracker.hpp"

using namespace tmod;
using R = line_reader::result;

namespace {
// Hands out the chunks one receive at a time (split when longer than the room
// asked for, as a socket does), then `end`: 0 closed, -1 error.
struct script {
    std::deque<std::string> chunks;
    int end = 0;
    int largest_request = 0;
    line_reader::receive_fn fn() {
        return [this](char* buffer, int max) {
            largest_request = std::max(largest_request, max);
            if (chunks.empty()) return end;
            std::string& c = chunks.front();
            const int n = std::min(static_cast<int>(c.size()), max);
            c.copy(buffer, static_cast<std::size_t>(n));
            c.erase(0, static_cast<std::size_t>(n));
            if (c.empty()) chunks.pop_front();
            return n;
        };
    }
};
} // namespace

TEST(LineReader, ALineEndsWithTheChunkHoldingItsEndAndKeepsWhatFollowedInThatChunk) {
    const std::string zero("TRIG 60\0junk\r\n", 14);
    const struct {
        std::deque<std::string> chunks;
        std::string text, command;
    } cases[] = {
        {{"TRIG 60\r\n"}, "TRIG 60\r\n", "TRIG 60"},
        {{"TR", "IG 60\r", "\n"}, "TRIG 60\r\n", "TRIG 60"}, // CR LF across chunks
        {{"TRIG 60\r\nUNTRIG 60\r\n"}, "TRIG 60\r\nUNTRIG 60\r\n", "TRIG 60\r\nUNTRIG 60"},
        {{"NOTE 62\r\nUNTR", "IG\r\n"}, "NOTE 62\r\nUNTR", "NOTE 62\r\nUN"},
        {{"TRIG 60\n"}, "TRIG 60\n", "TRIG 60"}, // plain nc
        {{"\r\n"}, "\r\n", ""},
        {{"\n"}, "\n", ""},
        {{zero}, zero, "TRIG "}, // a zero byte ends the text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        script s{c.chunks};
        line_reader reader(s.fn());
        ASSERT_EQ(reader.read(), R::line);
        EXPECT_EQ(std::string(reader.text()), c.text);
        EXPECT_EQ(std::string(command_text(reader.text())), c.command);
    }

    // The peer closing in the middle of a line ends the reading for good.
    script s{{"TRIG 60\r\n", "half a li", "ne"}};
    line_reader reader(s.fn());
    EXPECT_EQ(reader.read(), R::line);
    EXPECT_EQ(reader.read(), R::closed);
    EXPECT_EQ(reader.read(), R::closed);
    script failing{{"TRI"}, -1};
    line_reader broken(failing.fn());
    EXPECT_EQ(test::stdout_of([&] { EXPECT_EQ(broken.read(), R::failed); }),
              "Erreur de receive \n");
}

TEST(LineReader, ALineLongerThanTheBufferIsDroppedInBoundedMemoryAndTheNextOneIsRead) {
    const std::size_t cap = line_reader::capacity;
    std::deque<std::string> megabyte(16, std::string(65536, 'A'));
    megabyte.push_back("\r\n");
    const std::deque<std::string> cases[] = {
        {std::string(cap - 1, 'x') + "y\r\n"},
        {std::string(cap, 'x'), "more", "still more\r\n"},
        {std::string(cap - 1, 'x') + "\r", "\n"}, // the CR fills the buffer
        megabyte,
    };
    for (const auto& chunks : cases) {
        script s{chunks};
        s.chunks.push_back("TRIG 61\r\n");
        const std::size_t before = tracked_bytes();
        line_reader reader(s.fn());
        EXPECT_EQ(tracked_bytes() - before, cap) << "one buffer, tracked";
        EXPECT_EQ(reader.read(), R::too_long);
        EXPECT_LE(s.largest_request, static_cast<int>(cap));
        ASSERT_EQ(reader.read(), R::line);
        EXPECT_EQ(std::string(command_text(reader.text())), "TRIG 61");
    }
    // Exactly the buffer's size, CR LF included, is still a line.
    script exact{{"NOTE 70" + std::string(cap - 9, ' ') + "\r\n"}};
    line_reader reader(exact.fn());
    ASSERT_EQ(reader.read(), R::line);
    EXPECT_EQ(reader.text().size(), cap);
}

TEST(PlayCommand, TrigNoteUntrigAndTheirPrecedenceOnKey1) {
    fill_note_table();
    GENERATOR g;
    auto* key = test::add_named<KEYBOARD>(g, module_kind::KEYBOARD, "KEY_1");
    relaxed<GENERATOR*> table[1] = {&g};
    held_notes held;
    play_result result{};
    // Applies the line; returns what it printed.
    auto apply = [&](const char* line, relaxed<GENERATOR*>* to = nullptr) {
        return test::stdout_of(
            [&] { result = apply_play_command(line, to ? to : table, 1, held); });
    };

    EXPECT_EQ(apply("TRIG 60"), "TRIG [22] on generator [0]\n[22]\n");
    EXPECT_EQ(result, play_result::applied);
    EXPECT_EQ(held.note[0].load(), 22);
    std::vector<int> pulses;
    for (int i = 0; i < 3; ++i) key->compute(), pulses.push_back(key->pulse);
    EXPECT_EQ(pulses, (std::vector<int>{1, 0, 0})) << "one pulse of one tick";
    EXPECT_NEAR(key->value.load(), 8.1757989 * std::pow(2.0, (22 + 48 + 11) / 12.0), 1e-3);

    key->age = 50.0f;
    EXPECT_EQ(apply("NOTE 62"), "NOTE [24] on generator [0]\n");
    EXPECT_EQ(result, play_result::applied);
    EXPECT_EQ(key->note.load(), 24);
    EXPECT_EQ(key->gate.load(), 1);
    EXPECT_EQ(key->age.load(), 50.0f) << "not retriggered";
    EXPECT_EQ(key->pending.load(), 0);
    apply("UNTRIG 99"); // whatever its number
    EXPECT_EQ(result, play_result::applied);
    EXPECT_EQ(key->gate.load(), 0);
    EXPECT_EQ(held.note[0].load(), 0);

    // {line, result, note afterwards, gate and pending pulse afterwards}; the
    // keyboard starts at note 10, released. Octave 4: index = note + 48.
    const struct {
        const char* line;
        play_result result;
        int note, gate_and_pulse;
    } cases[] = {
        {"UNTRIG 60 TRIG 60", play_result::applied, 10, 0},
        {"xxFINISHxx TRIG 60", play_result::finish, 10, 0},
        {"TRIG 60\r\nNOTE 70", play_result::applied, 22, 0}, // NOTE first, number from the start
        {"TRIG 38", play_result::applied, 0, 1},
        {"TRIG   45xyz", play_result::applied, 7, 1},
        {"TRIG", play_result::applied, -38, 1}, // no number: 0 - 38
        {"TRIG -10", play_result::applied, -48, 1},
        {"TRIG -11", play_result::ignored, 10, 0},    // below the table
        {"TRIG 1989", play_result::applied, 1951, 1}, // entry 1999, the last
        {"TRIG 1990", play_result::ignored, 10, 0},
        {"TRIG 99999999999999", play_result::ignored, 10, 0},
        {"NOTE -2147483648", play_result::ignored, 10, 0},
        {"trig 60", play_result::ignored, 10, 0},
        {"", play_result::ignored, 10, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        key->note = 10;
        key->gate = 0;
        key->pending = 0;
        apply(c.line);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(key->note.load(), c.note);
        EXPECT_EQ(key->gate.load(), c.gate_and_pulse);
        EXPECT_EQ(key->pending.load(), c.gate_and_pulse);
    }

    // Without a KEY_1 (or a container) the commands print and keep the held note.
    relaxed<GENERATOR*> empty[1] = {nullptr};
    EXPECT_EQ(apply("TRIG 61", empty), "TRIG [23] on generator [0]\n");
    EXPECT_EQ(result, play_result::applied);
    EXPECT_EQ(held.note[0].load(), 23);
}
