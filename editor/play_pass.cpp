// The play-mode event pass: the mouse works the panels' controls, the
// computer keyboard plays notes, function keys switch views and patches.
#include <SDL/SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "audio/audio_pump.hpp"
#include "editor/editor.hpp"
#include "editor/editor_layout.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "modules/keyboard.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"
#include "toolkit/video.hpp"

namespace tmod {

namespace {
// The note keys, in note order from 1.
constexpr SDLKey note_keys[] = {
    SDLK_q, SDLK_w,         SDLK_e, SDLK_r, SDLK_t, SDLK_y, SDLK_u, SDLK_i, SDLK_o,
    SDLK_p, SDLK_a,         SDLK_s, SDLK_d, SDLK_f, SDLK_g, SDLK_h, SDLK_j, SDLK_k,
    SDLK_l, SDLK_SEMICOLON, SDLK_z, SDLK_x, SDLK_c, SDLK_v, SDLK_b, SDLK_n,
};

int note_of_key(int sym) {
    for (int i = 0; i < static_cast<int>(sizeof note_keys / sizeof note_keys[0]); ++i)
        if (note_keys[i] == sym) return i + 1;
    return 0;
}

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
} // namespace

void editor::play_note(int note, bool on, GENERATOR* level) {
    // Looked up and driven under a shared hold: a load cannot free it meanwhile.
    patch_read lock(patch_mutex());
    KEYBOARD* k = played_keyboard(level ? *level : *root_generator, keyboard_player::computer);
    if (!k) return;
    if (!on) {
        k->release();
        return;
    }
    const long long index = note + 12LL * k->octave.load();
    if (index >= 0 && index < note_table_size) k->play(note, true);
}

void editor::stop_patch(GENERATOR& g) {
    patch_read lock(patch_mutex());
    // Keyboards are the playing state a patch holds between notes.
    for (std::size_t i = 0; i < g.count(module_kind::KEYBOARD); ++i)
        static_cast<KEYBOARD*>(g.at(module_kind::KEYBOARD, i))->release();
    for (std::size_t i = 0; i < g.count(module_kind::GENERATOR); ++i) {
        auto* nested = static_cast<GENERATOR*>(g.at(module_kind::GENERATOR, i));
        lock.unlock();
        stop_patch(*nested);
        lock.lock();
    }
}

void editor::step_patch(bool forward) {
    char next[800] = {};
    const char* current = current_generator->file_name;
    const char* found = forward ? next_file(current, "TSY", "tsy", next, sizeof next)
                                : previous_file(current, "TSY", "tsy", next, sizeof next);
    if (!found) {
        message_line = "No other patch in TSY";
        return;
    }
    std::printf("A LOADER [%s]\n", next);
    SDL_WM_SetCaption(next, nullptr);
    load(next);
}

void editor::leave_level() {
    std::printf("gen_gui_recursive_list Size1 [%zu]\n", level_stack.size());
    GENERATOR_GUI* back = level_stack.back();
    if (level_stack.size() > 1) level_stack.pop_back();
    std::printf("gen_gui_recursive_list Size2 [%zu]\n", level_stack.size());
    current_gui = back;
    current_generator = back == root_gui.get() ? root_generator : &back->generator();
    current_panels = &back->panels;
    --level_depth;
    build_panels(*current_panels, *current_generator);
}

int editor::key_down(int sym, panel_list& panels) {
    if (const int n = note_of_key(sym)) {
        play_note(n, true);
        return pass_redraw;
    }
    switch (sym) {
    case SDLK_5: {
        const int i = panel_at(panels);
        if (i >= 0) panels[static_cast<std::size_t>(i)]->set_display_mode(0);
        break;
    }
    case SDLK_KP_PLUS:
    case SDLK_KP_MINUS:
        if (in_dialog_) break;
        step_patch(sym == SDLK_KP_PLUS);
        stop_pass_ = true;
        return pass_loaded;
    case SDLK_F1:
        if (pump_) pump_->scope_view = pump_->scope_view == 1 ? 0 : 1;
        break;
    case SDLK_F2:
        for (std::size_t i = 0; i < panels.size(); ++i) {
            std::printf("*[%zu]****************************\n", i);
            panels[i]->save_rc("RC/LOL.RC");
        }
        break;
    case SDLK_F4:
        if (!in_dialog_) save_level();
        break;
    case SDLK_F5:
        docks_visible = !docks_visible;
        if (!docks_visible)
            for (OBJET* d : {static_cast<OBJET*>(info_dash), module_dash, system_dash})
                if (d) d->set_position(-500, -1500, 0);
        break;
    case SDLK_F6:
        relink_pending = 1;
        edit_mode = !edit_mode;
        // The dashboards have no back face: they keep theirs.
        for (auto& p : panels)
            if (!is_dashboard(p.get()))
                p->set_display_mode(edit_mode ? OBJET::back : play_display_mode(*p));
        break;
    case SDLK_F7:
    case SDLK_F8:
        tempo_bpm = tempo_bpm + (sym == SDLK_F7 ? 1 : -1);
        std::printf("BPM[%d]\n", tempo_bpm.load());
        break;
    case SDLK_F9:
        image_bank().reload();
        break;
    case SDLK_F11:
        for (std::size_t i = 0; i < panels.size(); ++i)
            std::printf("*[%zu]****************************\n", i);
        break;
    default:
        break;
    }
    return pass_redraw;
}

int editor::key_up(int sym) {
    if (note_of_key(sym)) {
        play_note(0, false);
        return pass_redraw;
    }
    if (sym == SDLK_ESCAPE) {
        if (in_dialog_) {
            dialog_cancel_ = true;
        } else if (level_depth <= 0) {
            running = 0;
        } else {
            leave_level();
            stop_pass_ = true;
        }
    } else if (sym == SDLK_DELETE) {
        stop_patch(*current_generator);
    }
    return pass_redraw;
}

int editor::button_down_common(panel_list& panels, SDL_Event& e) {
    e.button.x = static_cast<Uint16>(e.button.x + scroll_x);
    e.button.y = static_cast<Uint16>(world_y(e.button.y));
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

int editor::pointer_moved(panel_list& panels, const SDL_Event& e, bool slider_drag) {
    int result = 0;
    hovered_panel = panel_at(panels);
    if (panning) {
        scroll_x = clamp_scroll_x(scroll_x + anchor_x - pointer_x);
        scroll_y = clamp_scroll_y(scroll_y + anchor_y - pointer_y);
        view_scroll_x = scroll_x, view_scroll_y = scroll_y;
        result |= pass_scrolled;
    }
    pointer_x = e.motion.x + scroll_x;
    pointer_y = world_y(e.motion.y);
    if (hovered_panel >= 0) {
        OBJET& p = *panels[static_cast<std::size_t>(hovered_panel)];
        SPRITE* w = p.element_at_pointer();
        if (w && w != hovered_widget) {
            if (!left && hovered_widget) {
                deliver(p, 0, "TOUCH_OUT", hovered_widget, e);
                hovered_widget->touched = 0;
                w->redraw = 1;
                if (info_dash) info_dash->set_target(nullptr);
            }
            deliver(p, 0, "TOUCH_IN", w, e);
            w->touched = 1;
            w->redraw = 1;
            if (info_dash) info_dash->set_target(&p);
            hovered_widget = w;
            result |= pass_redraw;
        }
    }
    if (slider_drag && left && pressed_widget && active_panel) {
        const int dy = press_y - pointer_y;
        if (dy != 0) {
            const char* text = dy > 0 ? "SLD_UP" : "SLD_DOWN";
            for (int i = 0; i < std::abs(dy); ++i)
                deliver(*active_panel, 0, text, pressed_widget, e);
            SDL_WarpMouse(static_cast<Uint16>(press_x - scroll_x),
                          static_cast<Uint16>(screen_y_of(press_y)));
            pointer_x = press_x, pointer_y = press_y;
            result |= pass_redraw;
        }
    } else if (!pressed_widget && dragged_panel >= 0 &&
               dragged_panel < static_cast<int>(panels.size())) {
        const int screen_x = pointer_x - scroll_x, screen_y = screen_y_of(pointer_y);
        const int old_x = scroll_x, old_y = scroll_y;
        if (screen_x >= 795) scroll_x = clamp_scroll_x(scroll_x + 35);
        if (screen_x < 5) scroll_x = clamp_scroll_x(scroll_x - 35);
        if (screen_y >= 595) scroll_y = clamp_scroll_y(scroll_y + 35);
        if (screen_y < 5) scroll_y = clamp_scroll_y(scroll_y - 35);
        if (old_x != scroll_x || old_y != scroll_y) {
            view_scroll_x = scroll_x, view_scroll_y = scroll_y;
            result |= pass_scrolled;
        }
        OBJET& p = *panels[static_cast<std::size_t>(dragged_panel)];
        p.set_position(static_cast<float>(snap_to_grid(pointer_x)),
                       static_cast<float>(snap_to_grid(pointer_y)), p.z);
        p.changed = 1;
        result |= pass_picked;
    }
    return result;
}

int editor::button_up_common(panel_list& panels, SDL_Event& e) {
    e.button.x = static_cast<Uint16>(e.button.x + scroll_x);
    e.button.y = static_cast<Uint16>(world_y(e.button.y));
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

int editor::play_pass(panel_list& panels,
                      bool /*accept_remote: the main loop accepts after the pass*/) {
    int result = 0;
    stop_pass_ = false;
    SDL_Event e;
    while (!stop_pass_ && SDL_PollEvent(&e)) {
        switch (e.type) {
        case SDL_MOUSEBUTTONDOWN: {
            result |= button_down_common(panels, e);
            if (e.button.button == SDL_BUTTON_LEFT) {
                left = true;
                press_x = pointer_x, press_y = pointer_y;
                for (std::size_t i = 0; i < panels.size(); ++i) {
                    SPRITE* w = panels[i]->element_at_pointer();
                    if (!w) continue;
                    hovered_panel = static_cast<int>(i);
                    pressed_widget = w;
                    if (auto* nested = dynamic_cast<GENERATOR_GUI*>(panels[i].get());
                        nested && !in_dialog_) {
                        level_stack.push_back(current_gui);
                        current_gui = nested;
                        current_generator = &nested->generator();
                        current_panels = &nested->panels;
                        ++level_depth;
                        hovered_panel = -1;
                        pressed_widget = hovered_widget = nullptr;
                        left = false;
                        stop_pass_ = true;
                    } else {
                        deliver(*panels[i], 1, nullptr, w, e);
                        active_panel = panels[i].get();
                    }
                    break;
                }
                result |= pass_redraw;
            }
            break;
        }
        case SDL_MOUSEMOTION:
            result |= pointer_moved(panels, e, true);
            break;
        case SDL_MOUSEBUTTONUP: {
            result |= button_up_common(panels, e);
            if (pressed_widget && left && e.button.button == SDL_BUTTON_LEFT) {
                left = false;
                const int i = panel_at(panels);
                if (i >= 0) {
                    to_front(panels, i);
                    deliver(*panels[0], 1, nullptr, pressed_widget, e);
                    hovered_panel = 0;
                }
                pressed_widget = nullptr;
                active_panel = nullptr;
                SDL_WarpMouse(static_cast<Uint16>(press_x - scroll_x),
                              static_cast<Uint16>(screen_y_of(press_y)));
            } else if (e.button.button == SDL_BUTTON_LEFT) {
                left = false;
            }
            break;
        }
        case SDL_KEYDOWN:
            result |= key_down(e.key.keysym.sym, panels);
            break;
        case SDL_KEYUP:
            result |= key_up(e.key.keysym.sym);
            break;
        case SDL_QUIT:
            if (in_dialog_)
                dialog_cancel_ = true;
            else
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
