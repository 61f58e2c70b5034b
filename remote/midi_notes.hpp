// Mono, last-note priority: which note a keyboard module plays while MIDI keys
// go down and up, with the sustain pedal and the all-notes-off controllers.
#pragma once

#include <cstdint>
#include <string>

#include "remote/midi_decoder.hpp"
#include "remote/output_bounds.hpp"

namespace tmod {

class KEYBOARD;

// MIDI note m is note-table entry m - 11 (entry 58 is 440 Hz, MIDI 69); the
// keyboard plays entry note + 12 * OCTAVE, so it is given m - 11 - 12 * OCTAVE.
constexpr int midi_note_table_offset = 11;

struct note_action {
    enum kind_t : std::uint8_t {
        none,
        trigger, // new note: open the gate with a sync pulse
        retune,  // back to a note still held: new pitch, no pulse
        release  // close the gate
    };
    kind_t kind = none;
    int note = 0; // MIDI note for trigger and retune
};

class mono_notes {
  public:
    // Notes whose table entry does not exist are ignored.
    note_action on_event(const midi_event& e);

    note_action note_on(int note);
    note_action note_off(int note);
    note_action pedal(bool down);
    note_action all_off();

  private:
    int held_[128] = {}; // oldest first
    int count_ = 0;
    bool pedal_ = false;
    bool gate_ = false;
    int sounding_ = -1;
};

// Drives the keyboard with one action, at concert pitch whatever its OCTAVE.
// A trigger's note line is printed while `budget` allows; the first trigger
// over it prints midi_quiet_notice() instead, and later ones nothing that
// second. Every note is played all the same. The MIDI worker's thread.
void play_note_action(KEYBOARD& k, const note_action& a, output_budget& budget,
                      output_budget::clock::time_point now);
// "MIDI: more than 100 notes a second; the rest of this second is not shown"
std::string midi_quiet_notice();

} // namespace tmod
