// MIDI learn in the patch view: Ctrl + left click on a control arms it (the
// control is framed and the message line asks for a controller), the next
// controller, key or press the MIDI worker hears binds it; Ctrl + left click
// again or Esc cancels; Ctrl + right click forgets the control's mappings.
// Shift held while arming runs the range the other way. Main thread only.
#pragma once

#include "editor/module_panels.hpp"
#include "toolkit/damage.hpp"

namespace tmod {

class editor_host;

class learn_gesture {
  public:
    // A Ctrl + click on `widget` of `panel` (either may be null): true when
    // taken (it is never a click on the control then).
    bool click(editor_host& ed, OBJET* panel, SPRITE* widget, bool left, bool inverted);
    // Esc: true when it cancelled an armed learn.
    bool cancel(editor_host& ed);
    // What the worker bound comes on the message line.
    void pass(editor_host& ed);
    // The armed control's frame, over the panels.
    void draw(editor_host& ed) const;
    // Where the frame was drawn and where it is now.
    void find_damage(editor_host& ed, damage& d);
    // The panels are new (a load, another level): an armed learn ends, so it
    // never binds a control of another patch that has the same name.
    void panels_rebuilt();

  private:
    // The frame's box in the world (w 0 when none is shown).
    screen_rect frame(editor_host& ed) const;

    screen_rect drawn_{}; // in window pixels
    OBJET* panel_ = nullptr;
    SPRITE* widget_ = nullptr;
};

} // namespace tmod
