// KEYBOARD: turns notes from the computer keyboard or the remote control into
// a frequency, a gate and a one-sample sync pulse.
#pragma once

#include <string>

#include "engine/signal.hpp"

namespace tmod {

class KEYBOARD final : public OUTPUT, public OUTPUT_GATE, public OUTPUT_SYNC {
  public:
    param<int> power{1};
    param<int> note{10};
    param<int> octave{4};

    KEYBOARD();
    void set_note(int n) { note = n; }
    void set_octave(int o) { octave = o; }
    // Sets the note and opens the gate; with_sync also requests a pulse.
    void play(int n, bool with_sync);
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

} // namespace tmod
