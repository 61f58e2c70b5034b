// The edit-mode event pass: the left button draws, picks up and drops cables
// between the plugs of the panels' back faces; the rest of the pointer works
// as in play mode, without slider drags.
#include <SDL/SDL.h>

#include "audio/audio_pump.hpp"
#include "editor/editor.hpp"
#include "toolkit/frame_state.hpp"

namespace tmod {

namespace {
// Notes 1 to 5 in edit mode.
constexpr SDLKey edit_note_keys[] = {SDLK_a, SDLK_z, SDLK_e, SDLK_r, SDLK_t};

int edit_note_of_key(int sym) {
    for (int i = 0; i < 5; ++i)
        if (edit_note_keys[i] == sym) return i + 1;
    return 0;
}

// Keys that do in edit mode what they do in play mode.
constexpr SDLKey shared_keys[] = {SDLK_5, SDLK_F1, SDLK_F2, SDLK_F4, SDLK_F5, SDLK_F6};
bool shared_key(int sym) {
    for (SDLKey k : shared_keys)
        if (k == sym) return true;
    return false;
}
} // namespace

int editor::edit_pass(panel_list& panels, bool /*accept_remote: the caller's service polls*/) {
    int result = 0;
    stop_pass_ = false;
    SDL_Event e;
    auto warp_to_press = [&] {
        SDL_WarpMouse(static_cast<Uint16>(press_x - scroll_x),
                      static_cast<Uint16>(screen_y_of(press_y)));
    };
    while (!stop_pass_ && SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_MOUSEBUTTONDOWN:
            result |= button_down_common(panels, e);
            if (e.button.button == SDL_BUTTON_LEFT) {
                left = true;
                press_x = pointer_x, press_y = pointer_y;
                // The panel under the press itself, not the one the last motion left.
                hovered_panel = panel_at_pointer(panels);
                if (hovered_panel >= 0 && hovered_panel < static_cast<int>(panels.size())) {
                    OBJET* p = panels[static_cast<std::size_t>(hovered_panel)].get();
                    result |= cables.press(p, p->element_at_pointer());
                }
            }
            break;
        case SDL_MOUSEMOTION:
            result |= pointer_moved(panels, e, false);
            if (left && cables.dragged) {
                cables.motion(pointer_x, pointer_y);
                result |= pass_redraw;
            }
            break;
        case SDL_MOUSEBUTTONUP:
            result |= button_up_common(panels, e);
            if (e.button.button == SDL_BUTTON_LEFT && left) {
                left = false;
                pointer_x = e.button.x, pointer_y = e.button.y;
                const int t = panel_at_pointer(panels);
                OBJET* target = t >= 0 ? panels[static_cast<std::size_t>(t)].get() : nullptr;
                cables.drop(target, target ? target->element_at_pointer() : nullptr);
                result |= pass_picked | pass_scrolled;
                warp_to_press();
            }
            break;
        case SDL_KEYDOWN: {
            const int sym = e.key.keysym.sym;
            result |= pass_redraw;
            if (const int n = edit_note_of_key(sym)) {
                play_note(n, true, current_generator);
            } else if (shared_key(sym)) {
                key_down(sym, panels);
                if (!edit_mode) cables.clear(); // back in play mode: no cables
            } else if (sym == SDLK_1) {
                if (hovered_panel >= 0 && hovered_panel < static_cast<int>(panels.size())) {
                    SDL_Event up = e;
                    up.type = SDL_MOUSEBUTTONUP;
                    up.button.type = SDL_MOUSEBUTTONUP;
                    up.button.button = SDL_BUTTON_LEFT;
                    up.button.state = SDL_RELEASED;
                    up.button.x = static_cast<Uint16>(pointer_x);
                    up.button.y = static_cast<Uint16>(pointer_y);
                    panels[static_cast<std::size_t>(hovered_panel)]->post(
                        GUI_MESSAGE::input(up, nullptr));
                }
            } else if (sym == SDLK_KP_PLUS || sym == SDLK_KP_MINUS) {
                if (pump_)
                    pump_->scope_zoom =
                        sym == SDLK_KP_PLUS ? pump_->scope_zoom * 2.0f : pump_->scope_zoom / 2.0f;
            } else if (sym == SDLK_DELETE) {
                result |= cables.unplug();
            } else if (sym == SDLK_RCTRL) {
                cables.right_ctrl_held = true;
            }
            break;
        }
        case SDL_KEYUP: {
            const int sym = e.key.keysym.sym;
            result |= pass_redraw;
            if (sym == SDLK_RCTRL) {
                cables.right_ctrl_held = false;
            } else if (sym == SDLK_DELETE) {
                cables.delete_held = false;
            } else if (sym >= SDLK_a && sym <= SDLK_z) {
                play_note(0, false, current_generator);
            } else if (sym == SDLK_ESCAPE) {
                cables.clear(); // leaving a level rebuilds its panels
                key_up(sym);
            }
            break;
        }
        case SDL_QUIT:
            running = 0;
            break;
        case SDL_USEREVENT:
            result |= pass_redraw;
            break;
        default:
            break;
        }
        if (!running) break;
    }
    return result;
}

} // namespace tmod
