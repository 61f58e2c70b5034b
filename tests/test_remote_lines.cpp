// Remote control without sockets: lines cut from scripted chunks exactly as a
// connection receives them, and the play commands applied to a patch's
// "KEY_1" keyboard.
#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <string>

#include "diagnostics/alloc_tracker.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "remote/line_reader.hpp"
#include "remote/play_command.hpp"

using namespace tmod;

namespace {

// Hands out the scripted chunks one receive at a time (a chunk longer than
// the room asked for is split, as a socket would), then `end` (0 closed, -1
// error).
struct script {
    std::deque<std::string> chunks;
    int end = 0;
    std::size_t largest_request = 0;
    int receives = 0;

    line_reader::receive_fn fn() {
        return [this](char* buffer, int max) {
            ++receives;
            largest_request = std::max(largest_request, static_cast<std::size_t>(max));
            if (chunks.empty()) return end;
            std::string& c = chunks.front();
            const std::size_t n = std::min(c.size(), static_cast<std::size_t>(max));
            std::copy(c.begin(), c.begin() + static_cast<long>(n), buffer);
            c.erase(0, n);
            if (c.empty()) chunks.pop_front();
            return static_cast<int>(n);
        };
    }
};

using R = line_reader::result;

} // namespace

TEST(LineReader, ALineEndsWithTheChunkThatHoldsItsEndAndKeepsWhatFollowedInThatChunk) {
    struct one_case {
        const char* what;
        std::deque<std::string> chunks;
        std::string text; // the received text of the first line
        std::string command;
    };
    const one_case cases[] = {
        {"CR LF in one chunk", {"TRIG 60\r\n"}, "TRIG 60\r\n", "TRIG 60"},
        {"CR at the end of a chunk, LF next", {"TRIG 60\r", "\n"}, "TRIG 60\r\n", "TRIG 60"},
        {"a line in three chunks", {"TR", "IG 6", "0\r\n"}, "TRIG 60\r\n", "TRIG 60"},
        {"two commands in one chunk",
         {"TRIG 60\r\nUNTRIG 60\r\n"},
         "TRIG 60\r\nUNTRIG 60\r\n",
         "TRIG 60\r\nUNTRIG 60"},
        {"bytes after the end in the same chunk",
         {"NOTE 62\r\nUNTR", "IG 60\r\n"},
         "NOTE 62\r\nUNTR",
         "NOTE 62\r\nUN"},
        {"a bare LF (nc without -C)", {"TRIG 60\n"}, "TRIG 60\n", "TRIG 60"},
        {"an empty line", {"\r\n"}, "\r\n", ""},
        {"a lone LF", {"\n"}, "\n", ""},
        {"a zero byte ends the text",
         {std::string("TRIG 60\0junk\r\n", 14)},
         std::string("TRIG 60\0junk\r\n", 14),
         "TRIG "},
    };
    for (const one_case& c : cases) {
        SCOPED_TRACE(c.what);
        script s;
        s.chunks = c.chunks;
        line_reader reader(s.fn());
        ASSERT_EQ(reader.read(), R::line);
        EXPECT_EQ(std::string(reader.text()), c.text);
        EXPECT_EQ(std::string(command_text(reader.text())), c.command);
    }
}

TEST(LineReader, ConsecutiveLinesAndTheEndOfTheConnection) {
    script s;
    s.chunks = {"TRIG 60\r\n", "NOTE 62\r", "\n", "half a li", "ne"};
    line_reader reader(s.fn());
    ASSERT_EQ(reader.read(), R::line);
    EXPECT_EQ(std::string(command_text(reader.text())), "TRIG 60");
    ASSERT_EQ(reader.read(), R::line);
    EXPECT_EQ(std::string(command_text(reader.text())), "NOTE 62");
    // The peer closes in the middle of a line: the unfinished line is dropped
    // and the reader says so instead of handing out a line again and again.
    EXPECT_EQ(reader.read(), R::closed);
    EXPECT_EQ(reader.read(), R::closed);

    script failing;
    failing.chunks = {"TRI"};
    failing.end = -1;
    line_reader broken(failing.fn());
    testing::internal::CaptureStdout();
    EXPECT_EQ(broken.read(), R::failed);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Erreur de receive \n");
}

TEST(LineReader, ALineLongerThanTheBufferIsDroppedWithBoundedMemoryAndTheNextLineIsRead) {
    const std::size_t cap = line_reader::capacity;
    struct one_case {
        const char* what;
        std::deque<std::string> chunks;
    };
    // One byte too many, the end in a later chunk, the end split over the
    // boundary, and a megabyte in chunks of 64 KiB.
    std::deque<std::string> megabyte;
    for (int i = 0; i < 16; ++i) megabyte.push_back(std::string(65536, 'A' + i % 26));
    megabyte.push_back("\r\n");
    const one_case cases[] = {
        {"two bytes past the buffer", {std::string(cap - 1, 'x') + "y\r\n"}},
        {"end two chunks later", {std::string(cap, 'x'), "more", "still more\r\n"}},
        {"CR at the end of the full buffer", {std::string(cap - 1, 'x') + "\r", "\n"}},
        {"a megabyte", megabyte},
    };
    for (const one_case& c : cases) {
        SCOPED_TRACE(c.what);
        script s;
        s.chunks = c.chunks;
        s.chunks.push_back("TRIG 61\r\n");
        const std::size_t before = tracked_bytes();
        line_reader reader(s.fn());
        EXPECT_EQ(tracked_bytes() - before, cap) << "one buffer of the documented size";
        EXPECT_EQ(reader.read(), R::too_long);
        EXPECT_LE(s.largest_request, cap);
        ASSERT_EQ(reader.read(), R::line);
        EXPECT_EQ(std::string(command_text(reader.text())), "TRIG 61");
    }

    // A line that fills the buffer exactly, its CR LF included, is kept.
    script exact;
    exact.chunks = {"NOTE 70" + std::string(cap - 9, ' ') + "\r\n"};
    line_reader reader(exact.fn());
    ASSERT_EQ(reader.read(), R::line);
    EXPECT_EQ(reader.text().size(), cap);
    EXPECT_EQ(std::string(command_text(reader.text()).substr(0, 7)), "NOTE 70");
}

namespace {

// A patch with the keyboard the remote control plays, in the table's slot 0.
struct keyboard_patch : testing::Test {
    GENERATOR g;
    KEYBOARD* key = nullptr;
    relaxed<GENERATOR*> table[1] = {&g};
    held_notes held;

    void SetUp() override {
        fill_note_table();
        key = static_cast<KEYBOARD*>(g.add_module(create_module(module_kind::KEYBOARD)));
        key->set_name("KEY_1");
    }
    play_result apply(std::string_view line) { return apply_play_command(line, table, 1, held); }
    // The pulse the keyboard gives on its next ticks.
    std::vector<int> pulses(int ticks) {
        std::vector<int> p;
        for (int i = 0; i < ticks; ++i) {
            key->compute();
            p.push_back(key->pulse.load());
        }
        return p;
    }
};

} // namespace

TEST_F(keyboard_patch, TrigOpensTheGateAtTheNoteMinus38WithOnePulseNoteRetunesUntrigReleases) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(apply("TRIG 60"), play_result::applied);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "TRIG [22] on generator [0]\n[22]\n");
    EXPECT_EQ(key->note.load(), 22);
    EXPECT_EQ(key->gate.load(), 1);
    EXPECT_EQ(held.note[0].load(), 22);
    EXPECT_EQ(pulses(3), (std::vector<int>{1, 0, 0}));
    // Note 22 at octave 4 is entry 70 of the table: 880 Hz.
    EXPECT_NEAR(key->value.load(), 8.1757989 * std::pow(2.0, 81 / 12.0), 0.001);

    key->age = 50.0f;
    testing::internal::CaptureStdout();
    EXPECT_EQ(apply("NOTE 62"), play_result::applied);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "NOTE [24] on generator [0]\n");
    EXPECT_EQ(key->note.load(), 24);
    EXPECT_EQ(key->gate.load(), 1);
    EXPECT_EQ(key->age.load(), 50.0f) << "not retriggered";
    EXPECT_EQ(pulses(2), (std::vector<int>{0, 0}));
    EXPECT_EQ(held.note[0].load(), 22) << "NOTE does not change the held note";

    testing::internal::CaptureStdout();
    EXPECT_EQ(apply("UNTRIG 99"), play_result::applied);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "UNTRIG prints nothing";
    EXPECT_EQ(key->gate.load(), 0);
    EXPECT_EQ(held.note[0].load(), 0);
}

TEST_F(keyboard_patch, PrecedenceAndNumbersAreReadFromTheStartOfTheText) {
    struct one_case {
        const char* line;
        play_result result;
        int note;  // the keyboard's note afterwards (it starts at 10)
        int gate;  // its gate afterwards (starts released)
        int pulse; // the pulse of the next tick
    };
    const one_case cases[] = {
        {"UNTRIG 60 TRIG 60", play_result::applied, 10, 0, 0},
        {"TRIG 60 FINISH", play_result::finish, 10, 0, 0},
        {"xxFINISHxx", play_result::finish, 10, 0, 0},
        // Two commands in one chunk: NOTE comes before TRIG, and its number
        // is read from the sixth character of the whole text.
        {"TRIG 60\r\nNOTE 70", play_result::applied, 22, 0, 0},
        {"NOTE 40\r\nUNTRIG 40", play_result::applied, 10, 0, 0},
        {"TRIG 38", play_result::applied, 0, 1, 1},
        {"TRIG   45", play_result::applied, 7, 1, 1}, // leading blanks are skipped
        // The table index is note + 12 * octave (octave 4): a negative note
        // is still playable down to -48.
        {"TRIG 4x", play_result::applied, -34, 1, 1},
        {"TRIG", play_result::applied, -38, 1, 1},     // no number: 0 - 38
        {"TRIG -10", play_result::applied, -48, 1, 1}, // -48 + 48: the first entry
        {"TRIG -11", play_result::ignored, 10, 0, 0},  // -49 + 48 is below the table
        {"T", play_result::ignored, 10, 0, 0},
        {"", play_result::ignored, 10, 0, 0},
        {"trig 60", play_result::ignored, 10, 0, 0},     // words are upper case
        {"TRIG 1990", play_result::ignored, 10, 0, 0},   // 1952 + 48 is past the table
        {"TRIG 1989", play_result::applied, 1951, 1, 1}, // 1951 + 48 = 1999, the last entry
        {"TRIG 99999999999999", play_result::ignored, 10, 0, 0},
        {"TRIG -99999999999999", play_result::ignored, 10, 0, 0},
        {"NOTE -2147483648", play_result::ignored, 10, 0, 0},
    };
    for (const one_case& c : cases) {
        SCOPED_TRACE(c.line);
        key->note = 10;
        key->gate = 0;
        key->pending = 0;
        testing::internal::CaptureStdout();
        EXPECT_EQ(apply(c.line), c.result);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(key->note.load(), c.note);
        EXPECT_EQ(key->gate.load(), c.gate);
        EXPECT_EQ(pulses(1), std::vector<int>{c.pulse});
    }
}

TEST(PlayCommand, WithoutKeyboardOrContainerTheCommandsOnlyPrintAndKeepTheHeldNotes) {
    fill_note_table();
    GENERATOR empty;
    relaxed<GENERATOR*> with_empty[1] = {&empty};
    relaxed<GENERATOR*> without[1] = {nullptr};
    for (relaxed<GENERATOR*>* table : {with_empty, without}) {
        held_notes held;
        testing::internal::CaptureStdout();
        EXPECT_EQ(apply_play_command("TRIG 60", table, 1, held), play_result::applied);
        EXPECT_EQ(held.note[0].load(), 22);
        EXPECT_EQ(apply_play_command("NOTE 61", table, 1, held), play_result::applied);
        EXPECT_EQ(apply_play_command("UNTRIG 61", table, 1, held), play_result::applied);
        EXPECT_EQ(held.note[0].load(), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "TRIG [22] on generator [0]\nNOTE [23] on generator [0]\n");
    }
    // An empty table is no table at all.
    held_notes held;
    testing::internal::CaptureStdout();
    EXPECT_EQ(apply_play_command("TRIG 60", without, 0, held), play_result::applied);
    testing::internal::GetCapturedStdout();
}
