#include "editor/layers/patch_view.hpp"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <algorithm>
#include <cstdio>

#include "audio/audio_pump.hpp"
#include "editor/layers/host.hpp"
#include "editor/layers/load_dialog.hpp"
#include "editor/module_rows.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {

namespace {
// The message line: filled rectangles land 13 pixels lower than given, and
// its text stands on a line within it.
constexpr int message_height = 24;

// The note keys of play mode, in note order from 1.
constexpr SDLKey note_keys[] = {
    SDLK_q, SDLK_w,         SDLK_e, SDLK_r, SDLK_t, SDLK_y, SDLK_u, SDLK_i, SDLK_o,
    SDLK_p, SDLK_a,         SDLK_s, SDLK_d, SDLK_f, SDLK_g, SDLK_h, SDLK_j, SDLK_k,
    SDLK_l, SDLK_SEMICOLON, SDLK_z, SDLK_x, SDLK_c, SDLK_v, SDLK_b, SDLK_n,
};
// Notes 1 to 5 in edit mode.
constexpr SDLKey edit_note_keys[] = {SDLK_a, SDLK_z, SDLK_e, SDLK_r, SDLK_t};
// Keys that do in edit mode what they do in play mode.
constexpr SDLKey shared_keys[] = {SDLK_5,  SDLK_F1,   SDLK_F2, SDLK_F4,  SDLK_F5,
                                  SDLK_F6, SDLK_LEFT, SDLK_UP, SDLK_DOWN, SDLK_RIGHT};
// The arrow keys pan the view this far.
constexpr int pan_step = 128;

template <std::size_t N>
int index_in(const SDLKey (&keys)[N], int sym) {
    for (std::size_t i = 0; i < N; ++i)
        if (keys[i] == sym) return static_cast<int>(i) + 1;
    return 0;
}
} // namespace

patch_view::patch_view(editor_host& e) : ed_(e), pointer_(e.view()) {
    pointer_.on_hover = [this](OBJET* p, SPRITE* w) {
        if (INFO_DASH* info = ed_.dashboards().info()) info->set_target(p, w);
    };
}

patch_view::~patch_view() = default;

void patch_view::panels_rebuilt() {
    whole_ = true;
    drawn_.forget();
    cables_.clear();
    relink_ = 1;
    pointer_.forget();
    learn_.panels_rebuilt();
    if (INFO_DASH* info = ed_.dashboards().info()) info->target = nullptr;
}

bool patch_view::handle(SDL_Event& e, int& result) {
    if (!ed_.levels().has_panels()) return false;
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
        result |= button_down(e);
        break;
    case SDL_MOUSEMOTION: {
        panel_list& panels = ed_.levels().panels();
        result |= pointer_.moved(panels, e, !edit_mode_);
        if (edit_mode_ && pointer_.left && cables_.dragged) {
            cables_.motion(pointer_x, pointer_y);
            result |= pass_redraw;
        }
        break;
    }
    case SDL_MOUSEBUTTONUP:
        result |= button_up(e);
        break;
    case SDL_KEYDOWN:
        if (command_key(e)) {
            result |= pass_redraw;
            command(e.key.keysym.sym, (e.key.keysym.mod & KMOD_SHIFT) != 0);
        } else if (e.key.keysym.sym == SDLK_BACKSPACE) {
            result |= pass_redraw;
            const int i = panel_at(ed_.levels().panels());
            if (i >= 0) ed_.remove_module_of(ed_.levels().panels()[static_cast<std::size_t>(i)].get());
        } else {
            result |= edit_mode_ ? edit_key_down(e) : play_key_down(e.key.keysym.sym);
        }
        break;
    case SDL_KEYUP:
        if (!command_key(e))
            result |= edit_mode_ ? edit_key_up(e.key.keysym.sym) : play_key_up(e.key.keysym.sym);
        break;
    case SDL_QUIT:
        ed_.unless_unsaved([this] { ed_.quit(); });
        break;
    case SDL_USEREVENT:
        result |= pass_redraw;
        break;
    default:
        break;
    }
    return true;
}

int patch_view::button_down(SDL_Event& e) {
    panel_list& panels = ed_.levels().panels();
    const int button = e.button.button;
    const SDLMod mod = SDL_GetModState();
    if (!edit_mode_ && (mod & KMOD_CTRL) &&
        (button == SDL_BUTTON_LEFT || button == SDL_BUTTON_RIGHT)) {
        // MIDI learn: the control under the pointer, which the click does not work.
        pointer_x = ed_.view().world_x(e.button.x), pointer_y = ed_.view().world_y(e.button.y);
        const int i = panel_at(panels);
        OBJET* p = i >= 0 ? panels[static_cast<std::size_t>(i)].get() : nullptr;
        learn_.click(ed_, p, p ? p->element_at_pointer() : nullptr, button == SDL_BUTTON_LEFT,
                     (mod & KMOD_SHIFT) != 0);
        return pass_redraw;
    }
    int result = pointer_.button_down(panels, e);
    if (e.button.button != SDL_BUTTON_LEFT) return result;
    pointer_.left = true;
    pointer_.press_x = pointer_x, pointer_.press_y = pointer_y;
    if (edit_mode_) {
        // The panel under the press itself, not the one the last motion left.
        pointer_.hovered_panel = panel_at_pointer(panels);
        if (pointer_.hovered_panel >= 0 && pointer_.hovered_panel < static_cast<int>(panels.size())) {
            OBJET* p = panels[static_cast<std::size_t>(pointer_.hovered_panel)].get();
            result |= cables_.press(p, p->element_at_pointer(), (SDL_GetModState() & KMOD_SHIFT) != 0);
        }
        return result;
    }
    OBJET* pressed = pointer_.press_control(panels);
    if (auto* nested = dynamic_cast<GENERATOR_GUI*>(pressed)) {
        ed_.levels().enter(*nested);
        pointer_.hovered_panel = -1;
        pointer_.pressed_widget = pointer_.hovered_widget = nullptr;
        pointer_.left = false;
        ed_.end_pass();
    } else if (pressed) {
        deliver(*pressed, 1, nullptr, pointer_.pressed_widget, e);
        pointer_.active_panel = pressed;
    }
    return result | pass_redraw;
}

int patch_view::button_up(SDL_Event& e) {
    panel_list& panels = ed_.levels().panels();
    int result = pointer_.button_up(panels, e);
    if (e.button.button != SDL_BUTTON_LEFT) return result;
    if (edit_mode_) {
        if (!pointer_.left) return result;
        pointer_.left = false;
        pointer_x = e.button.x, pointer_y = e.button.y;
        const int t = panel_at_pointer(panels);
        OBJET* target = t >= 0 ? panels[static_cast<std::size_t>(t)].get() : nullptr;
        cables_.drop(target, target ? target->element_at_pointer() : nullptr);
        pointer_.warp_to_press();
        return result | pass_picked | pass_scrolled;
    }
    pointer_.release_control(panels, e);
    return result;
}

// While either Ctrl is held, letters are commands and never notes (right
// Ctrl alone keeps its cable meaning in edit mode).
bool patch_view::command_key(const SDL_Event& e) {
    const int sym = e.key.keysym.sym;
    return (e.key.keysym.mod & KMOD_CTRL) && sym >= SDLK_a && sym <= SDLK_z;
}

void patch_view::command(int sym, bool shift) {
    if (sym == SDLK_s) ed_.save();
    if (sym == SDLK_z && !shift) ed_.undo();
    if (sym == SDLK_y || (sym == SDLK_z && shift)) ed_.redo();
}

void patch_view::flip_mode() {
    relink_ = 1;
    whole_ = true;
    edit_mode_ = !edit_mode_;
    // The dashboards have no back face: they keep theirs.
    for (auto& p : ed_.levels().panels())
        if (!ed_.dashboards().is_dashboard(p.get()))
            p->set_display_mode(edit_mode_ ? OBJET::back : play_display_mode(*p));
    if (!edit_mode_) cables_.clear();
}

void patch_view::shared_key(int sym) {
    panel_list& panels = ed_.levels().panels();
    view& v = ed_.view();
    switch (sym) {
    case SDLK_LEFT:
    case SDLK_RIGHT:
        v.scroll_to(v.x() + (sym == SDLK_LEFT ? -pan_step : pan_step), v.y());
        break;
    case SDLK_UP:
    case SDLK_DOWN:
        v.scroll_to(v.x(), v.y() + (sym == SDLK_UP ? -pan_step : pan_step));
        break;
    case SDLK_5: {
        // Only a panel that has a small form switches to it.
        const int i = panel_at(panels);
        if (i >= 0 && has_small_form(*panels[static_cast<std::size_t>(i)]))
            panels[static_cast<std::size_t>(i)]->set_display_mode(0);
        break;
    }
    case SDLK_F1:
        if (audio_pump* pump = ed_.pump()) pump->scope_view = pump->scope_view == 1 ? 0 : 1;
        break;
    case SDLK_F2:
        for (std::size_t i = 0; i < panels.size(); ++i) {
            std::printf("*[%zu]****************************\n", i);
            panels[i]->save_rc("RC/LOL.RC");
        }
        break;
    case SDLK_F4:
        ed_.save_as();
        break;
    case SDLK_F5:
        ed_.dashboards().toggle(ed_.levels().root_panels());
        break;
    case SDLK_F6:
        flip_mode();
        break;
    default:
        break;
    }
}

void patch_view::step_patch(bool forward) {
    char next[800] = {};
    const char* current = ed_.levels().generator().file_name;
    const char* found = forward ? next_file(current, "TSY", "tsy", next, sizeof next)
                                : previous_file(current, "TSY", "tsy", next, sizeof next);
    if (!found) {
        ed_.say("No other patch in TSY");
        return;
    }
    std::printf("A LOADER [%s]\n", next);
    SDL_WM_SetCaption(next, nullptr);
    ed_.load(next);
}

int patch_view::play_key_down(int sym) {
    if (const int n = index_in(note_keys, sym)) {
        ed_.play_note(n, true);
        return pass_redraw;
    }
    switch (sym) {
    case SDLK_KP_PLUS:
    case SDLK_KP_MINUS:
        ed_.unless_unsaved([this, sym] { step_patch(sym == SDLK_KP_PLUS); });
        ed_.end_pass();
        return pass_loaded;
    case SDLK_F7:
    case SDLK_F8:
        tempo_bpm = tempo_bpm + (sym == SDLK_F7 ? 1 : -1);
        std::printf("BPM[%d]\n", tempo_bpm.load());
        break;
    case SDLK_F9:
        image_bank().reload();
        whole_ = true;
        break;
    case SDLK_F11:
        for (std::size_t i = 0; i < ed_.levels().panels().size(); ++i)
            std::printf("*[%zu]****************************\n", i);
        break;
    default:
        shared_key(sym);
        break;
    }
    return pass_redraw;
}

int patch_view::play_key_up(int sym) {
    if (index_in(note_keys, sym)) {
        ed_.play_note(0, false);
    } else if (sym == SDLK_ESCAPE && learn_.cancel(ed_)) {
        // Esc first cancels a MIDI learn.
    } else if (sym == SDLK_ESCAPE) {
        if (ed_.levels().depth() <= 0) {
            ed_.unless_unsaved([this] { ed_.quit(); });
        } else {
            ed_.leave_level();
            ed_.end_pass();
        }
    } else if (sym == SDLK_DELETE) {
        ed_.stop_patch(ed_.levels().generator());
    }
    return pass_redraw;
}

int patch_view::edit_key_down(const SDL_Event& e) {
    const int sym = e.key.keysym.sym;
    panel_list& panels = ed_.levels().panels();
    if (const int n = index_in(edit_note_keys, sym)) {
        ed_.play_note(n, true, &ed_.levels().generator());
    } else if (index_in(shared_keys, sym)) {
        shared_key(sym);
    } else if (sym == SDLK_1) {
        const int h = pointer_.hovered_panel;
        if (h >= 0 && h < static_cast<int>(panels.size())) {
            SDL_Event up = e;
            up.type = SDL_MOUSEBUTTONUP;
            up.button.type = SDL_MOUSEBUTTONUP;
            up.button.button = SDL_BUTTON_LEFT;
            up.button.state = SDL_RELEASED;
            up.button.x = static_cast<Uint16>(pointer_x);
            up.button.y = static_cast<Uint16>(pointer_y);
            panels[static_cast<std::size_t>(h)]->post(GUI_MESSAGE::input(up, nullptr));
        }
    } else if (sym == SDLK_KP_PLUS || sym == SDLK_KP_MINUS) {
        if (audio_pump* pump = ed_.pump())
            pump->scope_zoom =
                sym == SDLK_KP_PLUS ? pump->scope_zoom * 2.0f : pump->scope_zoom / 2.0f;
    } else if (sym == SDLK_DELETE) {
        return pass_redraw | cables_.unplug();
    } else if (sym == SDLK_RCTRL) {
        cables_.right_ctrl_held = true;
    }
    return pass_redraw;
}

int patch_view::edit_key_up(int sym) {
    if (sym == SDLK_RCTRL) {
        cables_.right_ctrl_held = false;
    } else if (sym == SDLK_DELETE) {
        cables_.delete_held = false;
    } else if (sym >= SDLK_a && sym <= SDLK_z) {
        ed_.play_note(0, false, &ed_.levels().generator());
    } else if (sym == SDLK_ESCAPE) {
        cables_.clear(); // leaving a level rebuilds its panels
        play_key_up(sym);
    }
    return pass_redraw;
}

void patch_view::pass() {
    if (!ed_.levels().has_panels()) return;
    const dashboard_actions asked = ed_.dashboards().take_actions();
    for (module_kind k : asked.create) ed_.palette_create(k);
    if (asked.flip_mode) flip_mode(); // as F6 does
    if (asked.save) ed_.save_as();
    if (asked.load) ed_.unless_unsaved([this] { ed_.open(std::make_unique<load_dialog>(ed_)); });
    panel_list& panels = ed_.levels().panels();
    const audio_pump* pump = ed_.pump();
    if (edit_mode_ && !(pump && pump->scope_view == 1)) {
        if (relink_) {
            // Panels made or loaded since edit mode began show their plugs too.
            for (auto& p : panels)
                if (dynamic_cast<MODULE_GUI*>(p.get()) && p->display_mode != OBJET::back)
                    p->set_display_mode(OBJET::back);
            cables_.rebuild(ed_.levels().generator(), panels);
        }
        for (auto& p : panels) p->update();
    }
    if (ed_.dashboards().shown()) ed_.dashboards().dock();
    learn_.pass(ed_);
}

bool patch_view::moving() const {
    const view& v = ed_.view();
    if (!ed_.levels().has_panels()) return false;
    for (const auto& p : ed_.levels().panels())
        if (shows_moving_state(*p) && panel_in_view(*p, v.x(), v.y())) return true;
    return false;
}

void patch_view::find_damage(damage& d, int result) {
    const view& v = ed_.view();
    const void* level = ed_.levels().has_panels() ? &ed_.levels().panels() : nullptr;
    if (whole_ || (result & pass_scrolled) || v.x() != drawn_x_ || v.y() != drawn_y_ ||
        edit_mode_ != drawn_edit_mode_ || level != drawn_level_)
        d.add_all();
    whole_ = false;
    drawn_x_ = v.x(), drawn_y_ = v.y();
    drawn_edit_mode_ = edit_mode_;
    drawn_level_ = level;
    if (level) drawn_.compare(ed_.levels().panels(), v.x(), v.y(), d);
    cable_damage(d);
    learn_.find_damage(ed_, d);
    if (ed_.message() != message_drawn_) {
        message_drawn_ = ed_.message();
        d.add({0, v.height() - message_height - 16, v.width(), message_height + 16});
    }
}

// A cable that moved or changed damages the box of its curve and plugs, as
// it was and as it is.
void patch_view::cable_damage(damage& d) {
    std::vector<std::pair<std::uint64_t, screen_rect>> now;
    if (edit_mode_) {
        cables_.follow_panels();
        const view& v = ed_.view();
        for (const auto& c : cables_.cables) {
            look_hash k;
            k.add(c->x1), k.add(c->y1), k.add(c->x2), k.add(c->y2), k.add(c->colour);
            k.text(c->start_plug.image), k.text(c->end_plug.image);
            // The curve stays within its control points; the middle one's y
            // is the sum of the ends'.
            const long long ys[] = {c->y1, c->y2, static_cast<long long>(c->y1) + c->y2};
            const long long top = std::min({ys[0], ys[1], ys[2]});
            const long long bottom = std::max({ys[0], ys[1], ys[2]});
            const int plug = static_cast<int>(
                std::max({c->start_plug.w, c->start_plug.h, c->end_plug.w, c->end_plug.h, 16.0f}));
            const long long left = std::min(c->x1, c->x2) - v.x() - plug;
            const long long right = std::max(c->x1, c->x2) - v.x() + plug;
            const long long up = top - v.y() - plug,
                            down = bottom - v.y() + sprite_draw_shift + plug;
            const auto at = [](long long n) {
                return static_cast<int>(std::clamp<long long>(n, -1000000, 1000000));
            };
            now.push_back({k.h, {at(left), at(up), at(right - left), at(down - up)}});
        }
    }
    const std::size_t n = std::max(now.size(), cables_drawn_.size());
    for (std::size_t i = 0; i < n; ++i) {
        const bool was = i < cables_drawn_.size(), is = i < now.size();
        if (was && is && cables_drawn_[i].first == now[i].first) continue;
        if (was) d.add(cables_drawn_[i].second);
        if (is) d.add(now[i].second);
    }
    cables_drawn_ = std::move(now);
}

void patch_view::draw_message_line() {
    const std::string& line = ed_.message();
    if (line.empty()) return;
    const view& v = ed_.view();
    // Filled rectangles land lower than given.
    fill_rect(v.x(), v.y() + v.height() - message_height - fill_draw_shift, v.width(),
              message_height, 0xC0400000u);
    screen_text(0, 12, 8, static_cast<float>(v.height() - 30), 0xFFFF40u, line.c_str());
}

void patch_view::draw(const screen_rect& region) {
    if (!background_) {
        background_.reset(TM_NEW(SPRITE, "FOND_GLOBAL", 0, 0, 0, 0u, 0, 1.0f, 0, 255));
        background_->alpha = 255;
    }
    const view& v = ed_.view();
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    background_->set_image("FOND_ELECTRO");
    // Its size now, not at its first drawing: tiles stay where they were drawn.
    background_->update();
    const int tw = background_->w > 0 ? static_cast<int>(background_->w) : 256;
    const int th = background_->h > 0 ? static_cast<int>(background_->h) : 256;
    for (int i = 0; i < 10; ++i)
        for (int j = 0; j < 10; ++j) {
            // Images are drawn 15 pixels lower than placed.
            const screen_rect tile{i * tw - v.x(), j * th + sprite_draw_shift - v.y(), tw, th};
            if (!tile.meets(region)) continue;
            background_->set_position(static_cast<float>(i * tw), static_cast<float>(j * th), 0);
            background_->blit();
        }
    glColor3f(1, 1, 1);
    if (ed_.levels().has_panels()) drawn_.draw(ed_.levels().panels(), region);
    if (edit_mode_) cables_.draw();
    learn_.draw(ed_);
    draw_message_line();
}

} // namespace tmod
