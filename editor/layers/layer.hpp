// A layer of the editor's window. The editor keeps a stack of them: the
// patch view at the bottom, then what opens over it (the oscilloscope, the
// load dialog, and later prompts and questions). Each event goes to the top
// layer first and down the stack until one takes it; the top layer draws the
// frame. A layer never waits: what it needs from the user comes as events
// over later passes. Main (graphics) thread only.
#pragma once

#include <chrono>

union SDL_Event;

namespace tmod {

// What a pass did, for the frame that follows it.
enum pass_bits : int {
    pass_redraw = 1,   // something shown changed
    pass_picked = 2,   // a panel or a cable end was picked up or moved
    pass_scrolled = 4, // the view moved
    pass_loaded = 8,   // another patch was loaded: its first frame waits a pass
};

class layer {
  public:
    using clock = std::chrono::steady_clock;
    virtual ~layer() = default;

    // An event of the window. True when this layer took it (it goes no
    // further down); `result` gathers the pass bits.
    virtual bool handle(SDL_Event& e, int& result) = 0;
    // Once a pass, after the events, for every layer from the bottom up.
    virtual void pass() {}
    // Whether the frame is due now (asked of the top layer only).
    virtual bool frame_due(int result, clock::time_point now) = 0;
    // Draws what this layer shows; an opaque layer covers the ones below.
    virtual void draw() = 0;
    virtual bool opaque() const { return true; }

    // Set by the layer when it is done: the editor takes it off the stack.
    bool closed = false;
};

} // namespace tmod
