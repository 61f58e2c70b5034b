// MIDI input ports (ALSA sequencer or JACK MIDI, through RtMidi) that play the
// keyboard module the remote control plays: "KEY_1", else "KEYBOARD_1", of the
// top container. Mono, last-note priority (remote/midi_notes.hpp); pitch bend
// through the keyboard's bend. Controllers, velocity and channel pressure
// drive the controls the patch's levels map to them (engine/midi_map.hpp),
// with soft takeover and at the rate a panel shows, and bind the control the
// editor arms (remote/midi_learn.hpp). With the clock option the tempo follows
// MIDI clock and Start, Stop, Continue and song position drive every sequencer.
//
// RtMidi's thread (the JACK process thread with JACK) only copies the bytes
// into a ring of the port and wakes a worker of ours; the worker decodes them
// and drives the keyboard under a shared hold of the patch lock, as the remote
// control does, so neither the audio thread nor the JACK graph ever waits on it.
// Every change goes through the editing seam: one-word parameters are stored,
// the others queued for the audio thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "util/num.hpp"

namespace tmod {

class GENERATOR;

struct midi_settings {
    std::vector<std::string> ports; // numbers of the backend's list (from 1) or parts of names
    bool jack = false;              // JACK MIDI instead of the ALSA sequencer
    int channel = 0;                // 1..16, or 0 for every channel
    double bend_semitones = 2.0;    // a whole bend; 0: bend does nothing
    bool clock = false;             // the tempo follows MIDI clock; the transport drives sequencers
};

// The text of --midi-list: the input ports of both backends.
std::string midi_port_list();

class midi_input {
  public:
    // `table` is the pump's generator table; slot 0 is played.
    explicit midi_input(const relaxed<GENERATOR*>* table);
    ~midi_input(); // closes the ports, then stops the worker
    midi_input(const midi_input&) = delete;
    midi_input& operator=(const midi_input&) = delete;

    // Opens every port and starts listening. A port that is not in the list
    // (or cannot be opened) returns false with `error` saying which, followed by
    // the backend's port list; nothing stays open then. Main thread.
    bool open(const midi_settings& s, std::string& error);
    // "ALSA" or "JACK", and the names of the ports open as they may be printed
    // (any program can name a port: control characters come escaped).
    const char* backend() const;
    std::vector<std::string> port_names() const;

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

} // namespace tmod
