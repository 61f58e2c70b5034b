#include "editor/pointer.hpp"

#include <SDL/SDL.h>
#include <cstdlib>

#include "editor/editor_layout.hpp"
#include "editor/view.hpp"
#include "toolkit/frame_state.hpp"

namespace tmod {

int panel_at(const panel_list& panels) {
    for (std::size_t i = 0; i < panels.size(); ++i)
        if (panels[i]->contains(pointer_x, pointer_y)) return static_cast<int>(i);
    return -1;
}

void to_front(panel_list& panels, int index) {
    if (index <= 0 || index >= static_cast<int>(panels.size())) return;
    panel_ptr p = std::move(panels[static_cast<std::size_t>(index)]);
    panels.erase(panels.begin() + index);
    panels.insert(panels.begin(), std::move(p));
}

void deliver(OBJET& panel, int kind, const char* text, SPRITE* widget, const SDL_Event& e) {
    GUI_MESSAGE m = kind == 0 ? GUI_MESSAGE::command(text, widget) : GUI_MESSAGE::input(e, widget);
    panel.post(m);
}

void panel_pointer::forget() {
    hovered_panel = dragged_panel = -1;
    hovered_widget = pressed_widget = nullptr;
    active_panel = nullptr;
}

void panel_pointer::warp_to_press() const {
    SDL_WarpMouse(static_cast<Uint16>(view_.window_x(press_x)),
                  static_cast<Uint16>(view_.window_y(press_y)));
}

int panel_pointer::button_down(panel_list& panels, SDL_Event& e) {
    e.button.x = static_cast<Uint16>(view_.world_x(e.button.x));
    e.button.y = static_cast<Uint16>(view_.world_y(e.button.y));
    pointer_x = e.button.x;
    pointer_y = e.button.y;
    SDL_ShowCursor(SDL_DISABLE);
    if (e.button.button == SDL_BUTTON_MIDDLE) {
        anchor_x = pointer_x, anchor_y = pointer_y;
        panning = true;
    } else if (e.button.button == SDL_BUTTON_RIGHT) {
        right = true;
        press_x = pointer_x, press_y = pointer_y;
        dragged_panel = -1;
        for (std::size_t i = 0; i < panels.size(); ++i)
            if (panels[i]->contains_point(pointer_x, pointer_y)) {
                to_front(panels, static_cast<int>(i));
                dragged_panel = 0;
                hovered_panel = 0;
                break;
            }
        return pass_picked;
    }
    return 0;
}

int panel_pointer::moved(panel_list& panels, const SDL_Event& e, bool slider_drag) {
    int result = 0;
    if (panning) {
        view_.scroll_to(view_.x() + anchor_x - pointer_x, view_.y() + anchor_y - pointer_y);
        result |= pass_scrolled;
    }
    pointer_x = view_.world_x(e.motion.x);
    pointer_y = view_.world_y(e.motion.y);
    // Where the pointer is now: one jump off every panel clears what it said.
    hovered_panel = panel_at(panels);
    if (hovered_panel >= 0) {
        OBJET& p = *panels[static_cast<std::size_t>(hovered_panel)];
        SPRITE* w = p.element_at_pointer();
        if (w && w != hovered_widget) {
            if (!left && hovered_widget) {
                deliver(p, 0, "TOUCH_OUT", hovered_widget, e);
                hovered_widget->touched = 0;
                w->redraw = 1;
                if (on_hover) on_hover(nullptr, nullptr);
            }
            deliver(p, 0, "TOUCH_IN", w, e);
            w->touched = 1;
            w->redraw = 1;
            if (on_hover) on_hover(&p, w);
            hover_said_ = true;
            hovered_widget = w;
            result |= pass_redraw;
        }
    }
    if (hovered_panel < 0 && hover_said_ && !left) {
        if (on_hover) on_hover(nullptr, nullptr);
        hover_said_ = false;
    }
    if (slider_drag && left && pressed_widget && active_panel) {
        const int dy = press_y - pointer_y;
        if (dy != 0) {
            const char* text = dy > 0 ? "SLD_UP" : "SLD_DOWN";
            for (int i = 0; i < std::abs(dy); ++i)
                deliver(*active_panel, 0, text, pressed_widget, e);
            warp_to_press();
            pointer_x = press_x, pointer_y = press_y;
            result |= pass_redraw;
        }
    } else if (!pressed_widget && dragged_panel >= 0 &&
               dragged_panel < static_cast<int>(panels.size())) {
        if (view_.follow_edge(pointer_x, pointer_y)) result |= pass_scrolled;
        OBJET& p = *panels[static_cast<std::size_t>(dragged_panel)];
        p.set_position(static_cast<float>(snap_to_grid(pointer_x)),
                       static_cast<float>(snap_to_grid(pointer_y)), p.z);
        p.changed = 1;
        result |= pass_picked;
    }
    return result;
}

OBJET* panel_pointer::press_control(panel_list& panels) {
    left = true;
    press_x = pointer_x, press_y = pointer_y;
    for (std::size_t i = 0; i < panels.size(); ++i)
        if (SPRITE* w = panels[i]->element_at_pointer()) {
            hovered_panel = static_cast<int>(i);
            pressed_widget = w;
            return panels[i].get();
        }
    return nullptr;
}

void panel_pointer::release_control(panel_list& panels, const SDL_Event& e) {
    if (pressed_widget && left) {
        const int i = panel_at(panels);
        if (i >= 0) {
            to_front(panels, i);
            deliver(*panels[0], 1, nullptr, pressed_widget, e);
            hovered_panel = 0;
        }
        pressed_widget = nullptr;
        active_panel = nullptr;
        warp_to_press();
    }
    left = false;
}

int panel_pointer::button_up(panel_list& panels, SDL_Event& e) {
    e.button.x = static_cast<Uint16>(view_.world_x(e.button.x));
    e.button.y = static_cast<Uint16>(view_.world_y(e.button.y));
    if ((e.button.button == SDL_BUTTON_WHEELUP || e.button.button == SDL_BUTTON_WHEELDOWN) &&
        hovered_panel >= 0 && hovered_panel < static_cast<int>(panels.size()))
        deliver(*panels[static_cast<std::size_t>(hovered_panel)], 1, nullptr, hovered_widget, e);
    if (e.button.button == SDL_BUTTON_MIDDLE) {
        panning = false;
        anchor_x = pointer_x, anchor_y = pointer_y;
    }
    SDL_ShowCursor(SDL_ENABLE);
    if (dragged_panel >= 0) pressed_widget = nullptr;
    dragged_panel = -1;
    right = false;
    return pass_redraw;
}

} // namespace tmod
