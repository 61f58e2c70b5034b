// KEYBOARD: frequency from the note table, the gate and the one-sample sync
// pulse, notes outside the table, and the play commands that scripted events
// and remote connections send to "KEY_1".
#include <gtest/gtest.h>

#include "engine/generator.hpp"
#include "module_support.hpp"
#include "modules/keyboard.hpp"
#include "remote/play_command.hpp"
#include "util/text.hpp"

using namespace tmod;
using namespace tmod::test;

TEST(Keyboard, ANewKeyboardPlaysA440) {
    KEYBOARD k;
    k.compute();
    EXPECT_NEAR(k.value, 440.0f, 1e-3f);
    EXPECT_EQ(k.gate, 0);
    EXPECT_EQ(k.pulse, 0);
}

TEST(Keyboard, NotesFollowTheTableAcrossOctaves) {
    KEYBOARD k;
    for (int octave : {0, 2, 4, 7}) {
        for (int note : {0, 5, 11}) {
            SCOPED_TRACE(::testing::Message() << note << " " << octave);
            k.octave = octave;
            stdout_of([&] { k.play(note, false); });
            k.compute();
            EXPECT_NEAR(k.value, note_hz(note + 12 * octave), note_hz(note + 12 * octave) * 1e-6);
        }
    }
}

TEST(Keyboard, PlayOpensTheGateAndSyncGivesOnePulse) {
    KEYBOARD k;
    EXPECT_EQ(stdout_of([&] { k.play(3, false); }), "[3]\n");
    k.compute();
    EXPECT_EQ(k.gate, 1);
    EXPECT_EQ(k.pulse, 0); // no sync asked
    stdout_of([&] {
        k.play(5, true);
        k.play(7, true); // two requests in one sample: one pulse
    });
    k.compute();
    EXPECT_EQ(k.pulse, 1);
    k.compute();
    EXPECT_EQ(k.pulse, 0);
    EXPECT_EQ(k.gate, 1); // the gate is a level until released
    EXPECT_EQ(k.note, 7);
    k.release();
    k.compute();
    EXPECT_EQ(k.gate, 0);
}

TEST(Keyboard, ANoteOutsideTheTableKeepsTheLastFrequency) {
    KEYBOARD k;
    k.compute();
    for (int octave : {200, -1, 2147483647, -2147483647}) {
        SCOPED_TRACE(octave);
        k.octave = octave;
        k.compute();
        EXPECT_NEAR(k.value, 440.0f, 1e-3f);
    }
    k.octave = 4;
    k.note = -100;
    k.compute();
    EXPECT_NEAR(k.value, 440.0f, 1e-3f);
}

TEST(PlayCommands, TrigNoteAndUntrigDriveKeyOne) {
    GENERATOR g;
    auto* k = static_cast<KEYBOARD*>(g.add_module(create_module(module_kind::KEYBOARD)));
    k->set_name("KEY_1");
    GENERATOR* table[] = {&g};
    held_notes held;

    // "TRIG 60" is keyboard note 22: with octave 4, table entry 70 (880 Hz).
    EXPECT_EQ(stdout_of([&] { apply_play_command("TRIG 60", table, 1, held); }),
              "TRIG [22] on generator [0]\n[22]\n");
    k->compute();
    EXPECT_EQ(k->note, 22);
    EXPECT_EQ(k->gate, 1);
    EXPECT_EQ(k->pulse, 1);
    EXPECT_NEAR(k->value, note_hz(70), 1e-2);
    EXPECT_EQ(held.note[0], 22);

    // NOTE changes the pitch without a new trigger.
    stdout_of([&] { apply_play_command("NOTE 62", table, 1, held); });
    k->compute();
    EXPECT_EQ(k->note, 24);
    EXPECT_EQ(k->pulse, 0);
    EXPECT_EQ(k->gate, 1);

    // UNTRIG releases whatever its number; a line with both words is an UNTRIG.
    apply_play_command("UNTRIG 99", table, 1, held);
    EXPECT_EQ(k->gate, 0);
    EXPECT_EQ(held.note[0], 0);
    stdout_of([&] { apply_play_command("TRIG 50", table, 1, held); });
    apply_play_command("UNTRIG TRIG 50", table, 1, held);
    EXPECT_EQ(k->gate, 0);
}
