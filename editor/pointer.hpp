// The pointer over a list of panels, as the patch view and the load dialog
// share it: hover (touch messages to the widget under it), the control held
// with the left button (slider drags), a panel carried with the right button
// (snapped to the grid; the view follows at its edges), panning with the
// middle button. Coordinates of events are made world here. Main thread only.
#pragma once

#include <functional>

#include "editor/layers/layer.hpp"
#include "editor/module_panels.hpp"

union SDL_Event;

namespace tmod {

class view;

class panel_pointer {
  public:
    explicit panel_pointer(view& v) : view_(v) {}

    // A button went down: its coordinates are made world. The middle button
    // starts panning, the right one picks up the panel under the pointer.
    // The pass bits.
    int button_down(panel_list& panels, SDL_Event& e);
    // The pointer moved: hover, panning, a slider dragged (when
    // `slider_drag`) or a panel carried.
    int moved(panel_list& panels, const SDL_Event& e, bool slider_drag);
    // A button went up: its coordinates are made world; the wheel reaches
    // the hovered control; carrying and panning end.
    int button_up(panel_list& panels, SDL_Event& e);
    // Play mode's left button: down on the first panel with a widget under
    // the pointer (null: none; the widget is `pressed_widget`), and up, when
    // the release goes to the widget pressed (its panel comes to the front).
    OBJET* press_control(panel_list& panels);
    void release_control(panel_list& panels, const SDL_Event& e);
    // Hover, press and carry forgotten (the panels they named are gone).
    void forget();
    // The pointer goes back where the left button went down.
    void warp_to_press() const;

    // Called with the panel and the widget the pointer now touches (nulls:
    // none, the pointer left them).
    std::function<void(OBJET*, SPRITE*)> on_hover;

    int hovered_panel = -1;
    SPRITE* hovered_widget = nullptr;
    SPRITE* pressed_widget = nullptr;
    OBJET* active_panel = nullptr;
    int dragged_panel = -1;
    bool left = false, right = false, panning = false;
    int press_x = 0, press_y = 0;
    int anchor_x = 0, anchor_y = 0;

  private:
    view& view_;
    bool hover_said_ = false;
};

// Index of the first panel under the pointer, or -1.
int panel_at(const panel_list& panels);
// Moves the panel at `index` to the front of the list (drawn last, hit first).
void to_front(panel_list& panels, int index);
// Queues a command text (kind 0) or the input event (kind 1) for a widget.
void deliver(OBJET& panel, int kind, const char* text, SPRITE* widget, const SDL_Event& e);

} // namespace tmod
