// The commands of a play connection, applied to the keyboard named "KEY_1" of
// each container of the generator table. Shared by the TCP remote control and
// by scripted events (--events), so both play notes the same way.
#pragma once

#include <string_view>

#include "util/num.hpp"

namespace tmod {

class GENERATOR;

// The note last triggered remotely on each generator slot, 0 when released.
struct held_notes {
    static constexpr int slots = 1;
    relaxed<int> note[slots] = {};
    relaxed<int> current_slot{0};
};

enum class play_result { applied, ignored, finish };

// One command line (line end already removed). "FINISH" anywhere ends the
// connection; otherwise the first of "UNTRIG", "NOTE", "TRIG" found decides.
// Note numbers are read from the sixth character on (eighth for UNTRIG) minus
// 38; a note the keyboard cannot play (outside the note table with its octave)
// is ignored. The table's slots are read under a shared hold of the patch
// lock, so a container being loaded or destroyed is never driven; any thread
// but the audio thread. Without `report` the NOTE and TRIG lines (and the
// keyboard's note line) are not printed (a connection over its output budget).
play_result apply_play_command(std::string_view line, const relaxed<GENERATOR*>* table,
                               int table_size, held_notes& held, bool report = true);

} // namespace tmod
