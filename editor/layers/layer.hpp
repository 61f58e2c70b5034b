// A layer of the editor's window. The editor keeps a stack of them: the
// patch view at the bottom, then what opens over it (the oscilloscope, the
// load dialog, and later prompts and questions). Each event goes to the top
// layer first and down the stack until one takes it. A frame draws, from the
// highest opaque layer up, only the regions some layer says changed; the
// rest of the window stays as the last frame left it. A layer never waits:
// what it needs from the user comes as events over later passes. Main
// (graphics) thread only.
#pragma once

#include <chrono>

#include "toolkit/damage.hpp"

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
    // Adds to `d` the window regions where what this layer shows changed
    // since the last frame (the whole window when it cannot tell). Asked of
    // every layer a frame would draw, before the frame; `result` gathers the
    // passes since the last frame.
    virtual void find_damage(damage& d, int result) = 0;
    // Draws what this layer shows over the region, drawing being confined
    // to it; an opaque layer covers the ones below.
    virtual void draw(const screen_rect& region) = 0;
    virtual bool opaque() const { return true; }
    // Shows state that moves on its own (engine values, the sound): its
    // changes are looked for at the full frame rate, not only after input.
    virtual bool moving() const { return false; }

    // Set by the layer when it is done: the editor takes it off the stack.
    bool closed = false;
};

} // namespace tmod
