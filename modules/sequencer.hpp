// SEQUENCER: 64 patterns of up to 64 steps (note, octave, length, volume,
// bypass, slide, accent) played at the global tempo; outputs the frequency of
// the step that plays next, a gate and a sync pulse per triggered step. The
// whole pattern memory is one block, stored as a partition file.
#pragma once

#include <cstdint>
#include <string>

#include "engine/param_desc.hpp"
#include "engine/signal.hpp"
#include "util/num.hpp"
#include "util/rand15.hpp"

namespace tmod {

constexpr int pattern_count = 64;
constexpr int step_count = 64;
constexpr int played_pattern_count = 32; // only patterns 0..31 are ever played

// The pattern memory, laid out exactly as a partition file (little-endian).
struct partition_block {
    float divider[pattern_count];            // steps per beat
    std::int32_t max_step[pattern_count];    // steps in the pattern
    float length[pattern_count][step_count]; // gate length, in steps
    std::int32_t bypass[pattern_count][step_count];
    std::int32_t note[pattern_count][step_count];
    std::int32_t octave[pattern_count][step_count];
    float vol[pattern_count][step_count]; // the step triggers only at exactly 1.0
    std::int32_t slide[pattern_count][step_count];
    std::int32_t accent[pattern_count][step_count];
};
static_assert(sizeof(partition_block) == 115200, "a partition file is 115200 bytes");

// The seam's way to a sequencer's transport (on the audio thread); nothing
// a patch keeps or a panel shows.
extern const param_desc sequencer_transport;

class SEQUENCER final : public OUTPUT,
                        public OUTPUT_GATE,
                        public OUTPUT_SYNC,
                        public INPUT,
                        public INPUT_SYNC {
  public:
    signal_slot input_part; // selects the pattern (value - 16) at the pattern end
    param<int> power{1};
    param<int> wished_pattern{0};
    // Written by the tick, read by the panel.
    relaxed<int> current_pattern{0};
    relaxed<int> current_step{0};
    param<float> wished_divider{2.0f};
    // Stopped by a MIDI Stop: the steps stand still with the gate closed.
    // Never saved; a patch always opens running.
    param<int> running{1};
    partition_block memory;
    float timer = 0.0f;
    int note_on = 0;
    char partition_file_name[800] = {};
    rand15 random; // seeded as every module's: the same patch draws the same dividers

    SEQUENCER();
    int compute() override;
    // The transport (audio thread, through sequencer_transport): stop_order
    // stops and closes the gate, rewind_order does so and goes back to the
    // first step (the editor's stop), resume_order runs on from where it
    // stopped, n >= 0 runs from n sixteenth notes into the pattern (0: from
    // its first step, played at the next tick).
    static constexpr int stop_order = -1, resume_order = -2, rewind_order = -3;
    void transport(int order);
    // The object record's name and file field (no line end).
    void write_params(std::string& out) const;

    // Writes the block to the file, atomically, and keeps the name; false
    // (with `error`) when it cannot, the name then unchanged.
    bool save_partition(const char* file_name, std::string* error = nullptr);
    // True unless the file holds exactly the block (a regular file of its size).
    bool partition_differs(const char* file_name);
    // Names a new partition file in PARTITIONS/ that no file has yet, and returns it.
    std::string name_new_partition();
    // Reads the block from a regular file ("rb"; pipes, devices and directories
    // are refused), then copies it in under the patch lock; a short file fills
    // it as far as it goes.
    bool load_partition(const char* file_name);
    // The same without taking the file's name: the patterns kept aside (a
    // recovery set) and brought back, the partition still the sequencer's own.
    bool write_patterns(const char* file_name, std::string* error = nullptr) const;
    bool read_patterns(const char* file_name);
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
