// SEQUENCER: step timing at the global tempo, gate length, legato, slide,
// halting, pattern and divider switching, INPUT_PART, and indices from files
// or signals that point outside the pattern memory.
#include <gtest/gtest.h>
#include <limits>

#include "modules/sequencer.hpp"
#include "support/module_support.hpp"

using namespace tmod;
using namespace tmod::test;

namespace {

struct tick_record {
    float value;
    int gate, pulse;
};

// A sequencer whose pattern 0 plays `notes` (note numbers) with divider 2.
struct seq_rig {
    SEQUENCER seq;
    explicit seq_rig(std::initializer_list<int> notes, float divider = 2.0f) {
        program(0, notes, divider);
    }
    void program(int p, std::initializer_list<int> notes, float divider = 2.0f) {
        seq.memory.divider[p] = seq.wished_divider = divider;
        seq.memory.max_step[p] = static_cast<int>(notes.size());
        int s = 0;
        for (int n : notes) seq.memory.note[p][s] = n % 12, seq.memory.octave[p][s++] = n / 12;
    }
    std::vector<tick_record> run(int n) {
        std::vector<tick_record> out;
        for (int i = 0; i < n; ++i) {
            seq.compute();
            out.push_back({seq.value, seq.gate, seq.pulse});
        }
        return out;
    }
};

std::vector<int> pulse_ticks(const std::vector<tick_record>& r) {
    std::vector<int> at;
    for (std::size_t i = 0; i < r.size(); ++i)
        if (r[i].pulse) at.push_back(static_cast<int>(i));
    return at;
}

int open_ticks(const std::vector<tick_record>& r, int from, int to) {
    int open = 0;
    for (int i = from; i < to; ++i) open += r[i].gate;
    return open;
}

void expect_hz(float got, int note) {
    EXPECT_NEAR(got, note_hz(note), note_hz(note) * 1e-5);
}

} // namespace

TEST(SequencerTiming, StepsFollowTheTempoAndTheDivider) {
    struct row {
        int bpm;
        float divider;
        int interval;
    } rows[] = {{60, 2.0f, 22050}, {120, 2.0f, 11025}, {60, 1.0f, 44100}, {90, 4.0f, 7350}};
    for (const row& r : rows) {
        SCOPED_TRACE(::testing::Message() << r.bpm << " BPM, divider " << r.divider);
        tempo_scope tempo(r.bpm);
        seq_rig rig({45, 48, 52, 55}, r.divider);
        const auto at = pulse_ticks(rig.run(r.interval * 9 + 10));
        ASSERT_EQ(at.size(), 9u);
        EXPECT_EQ(at[0], r.interval - 1); // the timer reaches a step on the interval-th tick
        for (std::size_t i = 1; i < at.size(); ++i) EXPECT_EQ(at[i] - at[i - 1], r.interval);
    }
}

TEST(SequencerTiming, ADividerThatIsNotPositivePlaysOneStepABeat) {
    for (float divider : {0.0f, -2.0f, std::nanf(""), std::numeric_limits<float>::infinity()}) {
        SCOPED_TRACE(divider);
        tempo_scope tempo(60);
        seq_rig rig({45, 48, 52}, divider);
        const auto at = pulse_ticks(rig.run(44100 * 3 + 5));
        ASSERT_EQ(at.size(), 3u);
        EXPECT_EQ(at[1] - at[0], 44100);
    }
}

TEST(SequencerTiming, TheOutputCarriesTheStepThatPlaysNext) {
    tempo_scope tempo(120);
    seq_rig rig({45, 48, 52, 55});
    const auto rec = rig.run(11025 * 4 + 5);
    expect_hz(rec[0].value, 45); // before any step: step 0
    const auto at = pulse_ticks(rec);
    ASSERT_EQ(at.size(), 4u);
    // On the tick of a step the output moves on to the following one.
    expect_hz(rec[at[0]].value, 48);
    expect_hz(rec[at[1] - 1].value, 48);
    expect_hz(rec[at[1]].value, 52);
    expect_hz(rec[at[2]].value, 55);
    // On the tick of the last step the output reads the step after it (here an
    // untouched step: note 10, octave 3); the pattern wraps on the next tick.
    expect_hz(rec[at[3]].value, 46);
    expect_hz(rec[at[3] + 1].value, 45);
}

TEST(SequencerGate, LengthSetsTheGateAndAFullLengthLeavesOneSampleOff) {
    tempo_scope tempo(60);
    seq_rig half({45, 48, 52, 55});
    for (int s = 0; s < 4; ++s) half.seq.memory.length[0][s] = 0.5f;
    auto rec = half.run(22050 * 3 + 10);
    auto at = pulse_ticks(rec);
    ASSERT_GE(at.size(), 2u);
    EXPECT_EQ(open_ticks(rec, at[0], at[1]), 11024); // closes once the timer reaches d - 1

    seq_rig full({45, 48, 52, 55});
    rec = full.run(22050 * 3 + 10);
    at = pulse_ticks(rec);
    ASSERT_GE(at.size(), 2u);
    EXPECT_EQ(open_ticks(rec, at[0], at[1]), 22049);
    EXPECT_EQ(rec[at[1] - 1].gate, 0);
    EXPECT_EQ(rec[at[1]].gate, 1);
}

TEST(SequencerGate, ABypassedStepKeepsTheGateOpenAndFiresNothing) {
    tempo_scope tempo(120);
    seq_rig rig({45, 48, 52, 55});
    rig.seq.memory.bypass[0][2] = 1;
    const auto rec = rig.run(11025 * 4 + 5);
    const auto at = pulse_ticks(rec);
    ASSERT_EQ(at.size(), 3u); // step 2 fires no sync
    // Legato: the gate is not closed before the step that leads into the bypassed one.
    EXPECT_EQ(open_ticks(rec, at[0], at[1]), at[1] - at[0]);
    expect_hz(rec[at[1] + 11025].value, 55); // the bypassed step still changes the frequency
}

TEST(SequencerGate, AVolumeBelowOnePlaysTheFrequencyWithoutGateOrSyncAndPowerOffPlaysNothing) {
    tempo_scope tempo(120);
    seq_rig rig({45, 48, 52, 55});
    for (int s = 0; s < 4; ++s) rig.seq.memory.vol[0][s] = 0.9f;
    const auto rec = rig.run(11025 * 3);
    EXPECT_TRUE(pulse_ticks(rec).empty());
    EXPECT_EQ(open_ticks(rec, 0, static_cast<int>(rec.size())), 0);
    expect_hz(rec.back().value, 55);

    seq_rig off({45, 48});
    off.seq.power = 0;
    EXPECT_TRUE(pulse_ticks(off.run(11025 * 3)).empty());
}

TEST(SequencerSlide, GlidesLinearlyTowardsTheFollowingStep) {
    tempo_scope tempo(60);
    seq_rig rig({45, 57, 52, 50});
    rig.seq.memory.slide[0][1] = 1;
    const auto rec = rig.run(22050 * 2 + 5);
    const int t = pulse_ticks(rec).at(0);
    const double a = note_hz(57), b = note_hz(52);
    EXPECT_NEAR(rec[t].value, b, 1e-3); // the timer is exactly 0: the target itself
    EXPECT_NEAR(rec[t + 1].value, a + (b - a) / 22050.0, 1e-3);
    EXPECT_NEAR(rec[t + 11025].value, (a + b) / 2, 1e-2);
    EXPECT_NEAR(rec[t + 22049].value, a + (b - a) * 22049.0 / 22050.0, 1e-2);
}

TEST(SequencerSteps, NoteZeroHaltsUntilSyncRestarts) {
    tempo_scope tempo(120);
    seq_rig rig({45, 48, 0, 55});
    hand_source key;
    wire_sync(rig.seq.sync_in, key);
    const auto rec = rig.run(11025 * 6);
    EXPECT_EQ(pulse_ticks(rec).size(), 2u); // steps 0 and 1, then it stays on step 2
    expect_hz(rec.back().value, 0);         // the halted step's table entry
    EXPECT_EQ(rig.seq.current_step, 2);
    key.request_pulse();
    key.step_pulse();
    rig.seq.compute();
    key.step_pulse();
    EXPECT_EQ(rig.seq.current_step, 0);
    expect_hz(rig.seq.value, 45);
    EXPECT_EQ(pulse_ticks(rig.run(11025 * 2)).size(), 2u);
}

TEST(SequencerPatterns, WishedPatternAndDividerTakeEffectAtThePatternEnd) {
    tempo_scope tempo(120);
    seq_rig rig({45, 48});
    rig.program(3, {60, 62, 64});
    rig.seq.wished_pattern = 3;
    rig.seq.wished_divider = 4.0f;
    rig.run(11025 + 5);
    EXPECT_EQ(rig.seq.current_pattern, 0); // still in pattern 0
    rig.run(11025 * 2);
    EXPECT_EQ(rig.seq.current_pattern, 3);
    EXPECT_EQ(rig.seq.memory.divider[3], 4.0f);
    // Divider 4 at 120 BPM: steps every 5512.5 ticks of 2 timer units.
    EXPECT_EQ(pulse_ticks(rig.run(5513 * 3)).size(), 3u);
}

TEST(SequencerPatterns, InputPartSelectsThePatternValueMinusSixteen) {
    const std::pair<float, int> rows[] = {{17.0f, 1}, {18.9f, 2},  {47.0f, 31}, {56.0f, 0},
                                          {3.0f, 0},  {-1e30f, 0}, {1e30f, 0},  {std::nanf(""), 0}};
    for (const auto& [input, pattern] : rows) {
        SCOPED_TRACE(input);
        tempo_scope tempo(120);
        seq_rig rig({45, 48});
        for (int p = 1; p < 32; ++p) rig.program(p, {p + 60, p + 61});
        hand_source part;
        part.set(input);
        wire(rig.seq.input_part, part);
        rig.run(11025 * 2 + 10); // pattern 0 to its end
        EXPECT_EQ(rig.seq.current_pattern, pattern);
        expect_hz(rig.seq.value, pattern == 0 ? 45 : pattern + 60);
    }
}

TEST(SequencerBounds, IndicesOutsideThePatternMemoryStayInside) {
    tempo_scope tempo(240);
    struct row {
        const char* what;
        int max_step, octave, wished;
        float divider;
    } rows[] = {
        {"MAX_STEP above 63", 100, 3, 0, 32.0f}, {"MAX_STEP 0", 0, 3, 0, 32.0f},
        {"negative MAX_STEP", -7, 3, 0, 32.0f},  {"octave past the table", 40, 500, 0, 32.0f},
        {"negative octave", 40, -9, 0, 32.0f},   {"wished pattern 99", 8, 3, 99, 32.0f},
        {"wished pattern -4", 8, 3, -4, 32.0f},  {"divider 0", 8, 3, 0, 0.0f},
        {"negative divider", 8, 3, 0, -2.0f},    {"NaN divider", 8, 3, 0, std::nanf("")},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        SEQUENCER seq;
        for (int p = 0; p < pattern_count; ++p) {
            seq.memory.max_step[p] = r.max_step;
            seq.memory.divider[p] = r.divider;
            for (int s = 0; s < step_count; ++s)
                seq.memory.octave[p][s] = r.octave, seq.memory.slide[p][s] = s % 3 == 0;
        }
        seq.wished_divider = r.divider;
        seq.wished_pattern = r.wished;
        for (int i = 0; i < 200000; ++i) {
            seq.compute();
            ASSERT_TRUE(std::isfinite(seq.value)) << i;
            ASSERT_GE(seq.current_pattern, 0);
            ASSERT_LT(seq.current_pattern, played_pattern_count);
        }
    }
    // A note outside the table is silent, not a wild read.
    tempo_scope slower(120);
    seq_rig rig({45, 48});
    rig.seq.memory.octave[0][1] = 1000;
    rig.run(11025 + 5);
    EXPECT_EQ(rig.seq.value, 0.0f);
}

TEST(SequencerBounds, StepsPastSixtyThreeReadStepZero) {
    tempo_scope tempo(240);
    SEQUENCER seq;
    seq.memory.max_step[0] = 80;
    seq.memory.divider[0] = seq.wished_divider = 32.0f;
    for (int s = 0; s < step_count; ++s)
        seq.memory.note[0][s] = s % 12, seq.memory.octave[0][s] = 4;
    seq.memory.note[0][0] = 9;
    std::vector<float> values;
    while (seq.current_step < 70) {
        seq.compute();
        if (seq.current_step >= 65) values.push_back(seq.value);
    }
    ASSERT_FALSE(values.empty());
    for (float v : values) expect_hz(v, 9 + 48);
}

// The MIDI transport: Stop stands with the gate closed, Continue runs on from
// there, a position runs from its step at once (sixteenths x divider / 4).
TEST(SequencerTransport, StopStandsContinueResumesAPositionRunsFromItsStep) {
    tempo_scope tempo(60); // divider 2: a step every 22050 ticks
    seq_rig rig({45, 48, 52, 55});
    EXPECT_EQ(pulse_ticks(rig.run(22050)), std::vector<int>{22049});
    EXPECT_EQ(rig.seq.current_step, 1);
    rig.seq.transport(SEQUENCER::stop_order);
    const auto standing = rig.run(3 * 22050);
    EXPECT_TRUE(pulse_ticks(standing).empty());
    EXPECT_EQ(open_ticks(standing, 0, 3 * 22050), 0);
    EXPECT_EQ(rig.seq.current_step, 1);
    rig.seq.transport(SEQUENCER::resume_order);
    EXPECT_EQ(pulse_ticks(rig.run(22050)), std::vector<int>{22049}) << "the step's time goes on";
    EXPECT_EQ(rig.seq.current_step, 2);
    rig.seq.transport(6); // 6 sixteenths x 2 steps a beat / 4 = step 3, played at the next tick
    const auto from_3 = rig.run(22051);
    EXPECT_EQ(pulse_ticks(from_3), (std::vector<int>{0, 22050}));
    expect_hz(from_3[22050].value, 48); // after step 0 (45) comes step 1
    EXPECT_EQ(rig.seq.current_step, 1);
}
