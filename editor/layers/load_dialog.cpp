#include "editor/layers/load_dialog.hpp"

#include <GL/gl.h>
#include <SDL/SDL.h>
#include <cstdio>
#include <cstring>

#include "editor/layers/host.hpp"
#include "editor/editor_layout.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/frame_state.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {

namespace {
// A held arrow scrolls one name this often.
constexpr auto scroll_period = std::chrono::milliseconds(20);
} // namespace

load_dialog::load_dialog(editor_host& e) : ed_(e), pointer_(e.view()) {
    ed_.view().scroll_to(0, 0);
    for (const std::string& path : list_files("TSY", "tsy"))
        if (path.find('/', 4) == std::string::npos) names_.push_back(base_name(path));

    own_.push_back(panel_ptr(TM_NEW(OBJET, 0, 0, "0")));
    dialog_ = own_.back().get();
    dialog_->load_rc("RC/LOAD.RC");
    for (std::size_t n = 0; n < names_.size(); ++n) {
        char text[LABEL::caption_size];
        std::snprintf(text, sizeof text, "%32s", names_[n].c_str());
        LABEL* l = TM_NEW(LABEL, text, 100, 0, 0, 0, 0, 12, 0xFFFFFFu);
        l->redraw = 1;
        labels_.push_back(l);
    }
    if (names_.empty())
        dialog_->append(element_ptr(TM_NEW(LABEL, "No patch files in TSY - Esc or a click leaves",
                                           100, 66, 0, 0, 0, 12, 0xFF8080u)));
    show_window(0);
    for (auto& p : own_) p->update();
    std::printf("Load dialog: %zu patch file(s) in TSY; Esc or a click outside leaves\n",
                names_.size());
    std::fflush(stdout);
}

load_dialog::~load_dialog() {
    // Every label not shown now is ours to free; the dialog frees the others.
    show_window(static_cast<int>(labels_.size()));
    for (LABEL* l : labels_) delete l;
}

// The dialog's labels: every name made once, ten of them shown at a time.
void load_dialog::show_window(int first) {
    first_ = first;
    // Shown labels belong to the dialog; take back the previous window.
    element_list& shown = *dialog_->elements;
    for (auto it = shown.begin(); it != shown.end();) {
        auto* l = dynamic_cast<LABEL*>(it->get());
        bool ours = false;
        for (LABEL* mine : labels_) ours = ours || mine == l;
        if (ours) {
            it->release();
            it = shown.erase(it);
        } else {
            ++it;
        }
    }
    for (int i = 0; i < dialog_rows && first + i < static_cast<int>(labels_.size()); ++i) {
        LABEL* l = labels_[static_cast<std::size_t>(first + i)];
        l->set_position(100, static_cast<float>(54 + 15 * i), 0); // inside the list's LCD
        l->redraw = 1;
        dialog_->append(element_ptr(l));
    }
}

int load_dialog::shown_row(const SPRITE* target) const {
    for (int i = 0; i < dialog_rows && first_ + i < static_cast<int>(labels_.size()); ++i)
        if (labels_[static_cast<std::size_t>(first_ + i)] == target) return i;
    return -1;
}

bool load_dialog::handle(SDL_Event& e, int& result) {
    switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
        result |= pointer_.button_down(own_, e);
        if (e.button.button == SDL_BUTTON_LEFT) {
            if (OBJET* pressed = pointer_.press_control(own_)) {
                deliver(*pressed, 1, nullptr, pointer_.pressed_widget, e);
                pointer_.active_panel = pressed;
            }
            result |= pass_redraw;
        }
        return true;
    case SDL_MOUSEMOTION:
        result |= pointer_.moved(own_, e, true);
        return true;
    case SDL_MOUSEBUTTONUP:
        result |= pointer_.button_up(own_, e);
        if (e.button.button == SDL_BUTTON_LEFT) pointer_.release_control(own_, e);
        return true;
    case SDL_KEYUP:
        if (e.key.keysym.sym == SDLK_ESCAPE) {
            closed = true;
            return true;
        }
        // Keys that act on the panels of the dialog, or would load or save
        // under it, wait until it closes.
        return e.key.keysym.sym == SDLK_KP_PLUS || e.key.keysym.sym == SDLK_KP_MINUS ||
               e.key.keysym.sym == SDLK_F4 || e.key.keysym.sym == SDLK_5;
    case SDL_KEYDOWN:
        return e.key.keysym.sym == SDLK_ESCAPE || e.key.keysym.sym == SDLK_KP_PLUS ||
               e.key.keysym.sym == SDLK_KP_MINUS || e.key.keysym.sym == SDLK_F4 ||
               e.key.keysym.sym == SDLK_5 || e.key.keysym.sym == SDLK_F2 ||
               e.key.keysym.sym == SDLK_F11;
    case SDL_QUIT:
        closed = true;
        return true;
    default:
        return false;
    }
}

void load_dialog::pass() {
    if (closed) return;
    for (LABEL* l : labels_) {
        if (!l->touched) l->colour = 0xFFFFFFu;
        l->redraw = 1;
    }
    int chosen = -1;
    for (auto it = dialog_->messages.rbegin(); it != dialog_->messages.rend(); ++it) {
        const GUI_MESSAGE& m = *it;
        const int row = shown_row(m.target);
        if (m.kind == 0 && row >= 0) {
            auto* l = static_cast<LABEL*>(m.target);
            if (!std::strcmp(m.text, "TOUCH_IN")) l->colour = 0xFF0000u;
            if (!std::strcmp(m.text, "TOUCH_OUT")) l->colour = 0xFFFFFFu;
            l->redraw = 1;
        } else if (m.kind != 0 && row >= 0 && m.event_type() == event_button_up &&
                   m.event.button.button == SDL_BUTTON_LEFT) {
            chosen = first_ + row;
        } else if (m.kind != 0 && m.target && row < 0 &&
                   (m.event_type() == event_button_down || m.event_type() == event_button_up) &&
                   m.event.button.button == SDL_BUTTON_LEFT) {
            const bool down = m.event_type() == event_button_down;
            if (std::strstr(m.target->name, "BUTTON_OCT_DOWN")) direction_ = down ? 1 : 0;
            else if (std::strstr(m.target->name, "BUTTON_OCT_UP")) direction_ = down ? -1 : 0;
        }
    }
    // The widgets take their messages now, as a frame would.
    changed_ = changed_ || !dialog_->messages.empty();
    dialog_->update();
    // A press outside the dialog leaves it.
    if (pointer_.left && !pointer_.pressed_widget &&
        !dialog_->contains(pointer_.press_x, pointer_.press_y))
        closed = true;
    const auto now = clock::now();
    if (direction_ != 0 && now - last_scroll_ >= scroll_period) {
        last_scroll_ = now;
        const int moved = dialog_scroll(first_, direction_, static_cast<int>(labels_.size()));
        if (moved != first_) {
            show_window(moved);
            changed_ = true;
        }
    }
    if (chosen >= 0) {
        closed = true;
        std::printf("Load [%s]\n", names_[static_cast<std::size_t>(chosen)].c_str());
        const std::string path = "TSY/" + names_[static_cast<std::size_t>(chosen)];
        ed_.load(path.c_str());
    }
}

void load_dialog::find_damage(damage& d, int) {
    if (changed_) d.add_all();
    changed_ = false;
    drawn_.compare(own_, 0, 0, d);
}

void load_dialog::draw(const screen_rect& region) {
    glClear(GL_COLOR_BUFFER_BIT);
    dialog_->mark_all(1);
    drawn_.draw(own_, region);
}

} // namespace tmod
