// A MIDI byte-stream decoder: turns the bytes of one input port into the
// messages the synthesizer plays (notes, controllers, pitch bend, channel
// pressure, and the clock, Start, Stop, Continue, song position). Running
// status, real-time bytes between data bytes, SysEx of any length split across
// reads, and messages cut short by a new status byte are all taken in stride.
#pragma once

#include <cstdint>

namespace tmod {

enum class midi_kind : std::uint8_t {
    note_on,
    note_off,
    control,
    pitch_bend, // data1: 0..16383, 8192 at rest
    pressure,   // channel aftertouch, data1: 0..127
    clock,      // 24 a quarter note
    start,
    resume, // Continue
    stop,
    song_position, // data1: sixteenth notes from the start, 0..16383
};

struct midi_event {
    midi_kind kind;
    int channel; // 1..16; 0 for the system messages (clock, transport, position)
    int data1;   // note or controller number; see midi_kind
    int data2;   // velocity or controller value
};

class midi_decoder {
  public:
    // channel 1..16 keeps that channel only; 0 keeps every channel.
    explicit midi_decoder(int channel = 0) : channel_(channel) {}

    // One byte of the stream; true when it completes a message worth playing,
    // then stored in `out`. A note-on of velocity 0 comes out as a note-off.
    // The channel kept applies to channel messages only.
    bool push(std::uint8_t byte, midi_event& out);

  private:
    int channel_;
    std::uint8_t status_ = 0; // 0: no message under way (data bytes are dropped)
    std::uint8_t data_[2] = {};
    int have_ = 0;
    bool in_sysex_ = false;
};

} // namespace tmod
