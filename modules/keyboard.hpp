// KEYBOARD: turns notes from the computer keyboard or the remote control into
// a frequency, a gate and a one-sample sync pulse.
#pragma once

#include <string>

#include "engine/param_desc.hpp"
#include "engine/signal.hpp"

namespace tmod {

class KEYBOARD final : public OUTPUT, public OUTPUT_GATE, public OUTPUT_SYNC {
  public:
    param<int> power{1};
    param<int> note{10};
    param<int> octave{4};
    // Pitch bend as a frequency ratio; the pitch glides to it in a few
    // milliseconds, in every octave, and a new note keeps it.
    param<float> bend{1.0f};
    float bent = 1.0f; // the ratio now (audio thread)

    KEYBOARD();
    void set_note(int n) { note = n; }
    void set_octave(int o) { octave = o; }
    // Sets the note and opens the gate; with_sync also requests a pulse.
    // Prints the note's line "[n]" unless the caller is over its output budget.
    void play(int n, bool with_sync, bool report = true);
    int compute() override;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

class GENERATOR;

// The one way MIDI bends a keyboard: set_param(k, keyboard_bend, 0, ratio).
// Nothing a patch keeps or a panel shows.
extern const param_desc keyboard_bend;

// Who plays a keyboard. The remote control, scripted events and MIDI look for
// "KEY_1" (the name shipped patches use), the computer keyboard for
// "KEYBOARD_1" (the name the palette gives); each falls back to the other, so
// any patch can be played both ways. Null when the container has neither.
enum class keyboard_player { remote, computer };
KEYBOARD* played_keyboard(const GENERATOR& g, keyboard_player who);

} // namespace tmod
