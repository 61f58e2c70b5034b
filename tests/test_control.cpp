// Control modules: every BASIC_OPERATION and the VARIABLE latch; and the
// KEYBOARD's frequency from the note table. (Its gate and pulse through the
// play commands are in test_remote_lines, the pulse's length in test_engine.)
#include <gtest/gtest.h>

#include "modules/control.hpp"
#include "modules/keyboard.hpp"
#include "support/module_support.hpp"

using namespace tmod;
using namespace tmod::test;

TEST(BasicOperation, EveryOperationOnTwoInputs) {
    struct row {
        int type;
        float a, b, c, expected; // a on IN2, b on IN1, c on IN_IF
    } rows[] = {
        {1, 5, 3, 0, 8},       {2, 5, 3, 0, 2},  {3, 6, 4, 0, 1.5f},    {4, -2, 3.5f, 0, -7},
        {5, 3.7f, 1.2f, 0, 1}, {5, 6, 3, 0, 2},  {6, 3, 0, 0, 1},       {6, 3, 2, 0, 0},
        {6, 2, 0, 0, 0},       {7, 4, 1, 0, 5},  {7, 4.9f, 2.2f, 0, 6}, {8, 4, 0, 0, 5},
        {8, 4, 7, 0, 4},       {9, 0, 5, 0, 1},  {9, 0.1f, 5, 0, 0},    {10, 0.5f, -0.9f, 0, 0},
        {10, 0, 2, 0, 1},      {10, 3, 0, 0, 1}, {11, 2, 2, 0, 1},      {11, 2, 2.5f, 0, 0},
        {12, 2, 2, 0, 0},      {12, 2, 3, 0, 1}, {13, 3, 2, 0, 1},      {13, 2, 2, 0, 0},
        {14, 1, 2, 0, 1},      {14, 2, 2, 0, 0}, {15, 2, 2, 0, 1},      {15, 1, 2, 0, 0},
        {16, 2, 2, 0, 1},      {16, 3, 2, 0, 0}, {17, 7, 9, 0, 9},      {17, 7, 9, 1, 7},
        {17, 7, 9, -0.5f, 7},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(::testing::Message()
                     << BASIC_OPERATION::label(r.type) << " " << r.a << ", " << r.b << ", " << r.c);
        hand_source a, b, c;
        a.set(r.a);
        b.set(r.b);
        c.set(r.c);
        BASIC_OPERATION op(&a, &b);
        wire(op.in_if, c);
        op.type = r.type;
        EXPECT_EQ(op.compute(), 1);
        EXPECT_FLOAT_EQ(op.value, r.expected);
    }
}

TEST(BasicOperation, Edges) {
    EXPECT_STREQ(BASIC_OPERATION::label(18), ""); // no such operation: no label
    hand_source a, b;
    a.set(5);
    b.set(3);
    BASIC_OPERATION op(&a, &b);
    op.type = 17; // Switch with IN_IF unconnected: IN1
    EXPECT_EQ(run(op, 1)[0], 3.0f);
    op.type = 99; // an unknown type keeps the previous output
    a.set(100);
    EXPECT_EQ(run(op, 1)[0], 3.0f);
    op.type = 3; // division by zero is a float infinity, not a trap
    b.set(0);
    EXPECT_TRUE(std::isinf(run(op, 1)[0]));
    // Huge and NaN values go through the integer operations without overflow.
    op.type = 5;
    a.set(1e30f);
    b.set(std::nanf(""));
    EXPECT_TRUE(std::isfinite(run(op, 1)[0]));
    BASIC_OPERATION half(&a, nullptr); // one input missing: 0
    EXPECT_EQ(run(half, 1)[0], 0.0f);
}

TEST(Variable, LatchesOnlyOnAnAssignOfExactlyOne) {
    hand_source in, assign;
    VARIABLE var(0.25f);
    EXPECT_EQ(run(var, 1)[0], 0.25f); // the constructor's value before any latch
    wire(var.in, in);
    wire(var.in_assign, assign);
    in.set(0.8f);
    assign.set(0.999f);
    EXPECT_EQ(run(var, 1)[0], 0.25f);
    assign.set(1.0f);
    EXPECT_EQ(run(var, 1)[0], 0.8f);
    // Held while the assign is off, whatever IN does.
    assign.set(0.0f);
    in.set(-3.0f);
    EXPECT_EQ(run(var, 10), std::vector<float>(10, 0.8f));
    // Followed sample by sample while the assign stays at 1.
    assign.set(1.0f);
    for (float x : {0.1f, 0.2f, 0.3f}) {
        in.set(x);
        EXPECT_EQ(run(var, 1)[0], x);
    }
}

TEST(Keyboard, NotesFollowTheTableAcrossOctavesAndNotesOutsideItKeepTheLastFrequency) {
    KEYBOARD k;
    k.compute();
    EXPECT_NEAR(k.value, 440.0f, 1e-3f) << "a new keyboard plays A440";
    EXPECT_EQ(k.gate, 0);
    EXPECT_EQ(k.pulse, 0);
    for (int octave : {200, -1, 2147483647, -2147483647}) {
        k.octave = octave;
        k.compute();
        EXPECT_NEAR(k.value, 440.0f, 1e-3f) << octave;
    }
    k.octave = 4;
    k.note = -100;
    k.compute();
    EXPECT_NEAR(k.value, 440.0f, 1e-3f);

    for (int octave : {0, 2, 4, 7}) {
        for (int note : {0, 5, 11}) {
            k.octave = octave;
            stdout_of([&] { k.play(note, false); });
            k.compute();
            const double hz = note_hz(note + 12 * octave);
            EXPECT_NEAR(k.value, hz, hz * 1e-6) << note << " " << octave;
        }
    }
}
