// Helpers of the module suites: wiring hand sources into slots, the note table
// recomputed from its formula, and a tempo that is put back after a test.
#pragma once

#include <cmath>
#include <string>

#include "engine/engine_state.hpp"
#include "support/harness.hpp"

namespace tmod::test {

inline void wire(signal_slot& s, const OUTPUT& src) {
    s.connect(&src.value);
}
inline void wire_gate(gate_slot& s, const hand_source& src) {
    s.connect(&src.gate);
}
inline void wire_sync(sync_slot& s, const hand_source& src) {
    s.connect(&src.pulse);
}

// The note table from its definition, independent of the engine's table.
inline double note_hz(int n) {
    return 8.1757989 * std::pow(2.0, (n + 11) / 12.0);
}

// Sets the global tempo for the scope of a test.
class tempo_scope {
  public:
    explicit tempo_scope(int bpm) : saved_(tempo_bpm) { tempo_bpm = bpm; }
    ~tempo_scope() { tempo_bpm = saved_; }

  private:
    int saved_;
};

} // namespace tmod::test
