// What MIDI does to a patch besides notes, as pure rules the MIDI worker
// applies: a controller's value through a parameter description, soft
// takeover, pitch bend, the tempo of an incoming clock and the transport.
// No locks, no clocks of their own: times are given.
#pragma once

#include <cstdint>

#include "engine/param_desc.hpp"

namespace tmod {

// CC 0..127 over the control's whole range (value_at); inverted runs it the other way.
double controller_value(const param_desc& d, int value, bool inverted);

// The frequency ratio of a 14-bit bend (8192 at rest, 0 and 16383 the ends)
// over +-`semitones`.
double bend_ratio(int bend, double semitones);

// A controller takes a control over only once it has reached or crossed the
// control's value, so nothing jumps after a load or a mouse change.
class soft_takeover {
  public:
    // `current`: the control's value now; `wanted`: what the controller asks.
    // True when the controller has the control (`wanted` is to be set). A
    // control that is neither what the controller last set nor what it was
    // before that (a change still queued) was moved by something else (the
    // mouse, an undo, a load): it is let go until crossed again.
    bool follow(double current, double wanted);
    // The caller set `value` over `before` (perhaps a while after follow).
    void set(double before, double value);

  private:
    bool engaged_ = false;
    bool have_last_ = false, have_set_ = false;
    double last_wanted_ = 0.0; // where the hardware control was
    double set_ = 0.0, before_ = 0.0;
};

// The tempo of an incoming MIDI clock (24 pulses a quarter note): the slope
// of a least-squares line through the times of the last pulses, so jitter of
// a few milliseconds a pulse moves nothing; the whole BPM it gives changes
// only when the line leaves it by 0.75. A gap of two seconds starts afresh
// and keeps the tempo meanwhile.
class clock_tempo {
  public:
    static constexpr int window = 96; // four beats
    // A pulse at `seconds` (any steady origin). The whole BPM to play, or 0
    // until two beats of pulses have come (the tempo before them then).
    int pulse(double seconds);
    int tempo() const { return tempo_; }

  private:
    double times_[window] = {};
    int count_ = 0; // pulses in the window
    int next_ = 0;
    int tempo_ = 0;
};

// Start, Stop, Continue and song position for every sequencer: what to tell
// them. Start runs from the first step; Continue resumes where they stopped,
// or from the song position received while stopped.
struct transport_order {
    enum kind_t : std::uint8_t { none, stop, run_from, resume } kind = none;
    int sixteenth = 0; // run_from: the position in sixteenth notes
    bool operator==(const transport_order& o) const {
        return kind == o.kind && (kind != run_from || sixteenth == o.sixteenth);
    }
};

class transport {
  public:
    transport_order start();
    transport_order stop();
    transport_order resume();
    // Honoured while stopped only (kept for Continue).
    transport_order position(int sixteenth);
    bool running() const { return running_; }

  private:
    bool running_ = false;
    int located_ = -1; // a position received while stopped
};

} // namespace tmod
