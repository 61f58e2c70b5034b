// The load dialog (a list of the patch files, ten at a time) and saving the
// shown level under a name typed on the console.
#include <GL/gl.h>
#include <SDL/SDL.h>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "editor/editor.hpp"
#include "editor/editor_layout.hpp"
#include "engine/generator.hpp"
#include "patchfile/patch_writer.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/video.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {

namespace {
// The dialog's labels: every name made once, ten of them shown at a time.
void show_window(OBJET& dialog, std::vector<LABEL*>& labels, int first) {
    // Shown labels belong to the dialog; take back the previous window.
    element_list& shown = *dialog.elements;
    for (auto it = shown.begin(); it != shown.end();) {
        auto* l = dynamic_cast<LABEL*>(it->get());
        bool ours = false;
        for (LABEL* mine : labels) ours = ours || mine == l;
        if (ours) {
            it->release();
            it = shown.erase(it);
        } else {
            ++it;
        }
    }
    for (int i = 0; i < dialog_rows && first + i < static_cast<int>(labels.size()); ++i) {
        LABEL* l = labels[static_cast<std::size_t>(first + i)];
        l->set_position(100, static_cast<float>(16 * (i + 1) + 50), 0);
        l->redraw = 1;
        dialog.append(element_ptr(l));
    }
}

int shown_row(const std::vector<LABEL*>& labels, int first, const SPRITE* target) {
    for (int i = 0; i < dialog_rows && first + i < static_cast<int>(labels.size()); ++i)
        if (labels[static_cast<std::size_t>(first + i)] == target) return i;
    return -1;
}
} // namespace

bool editor::load_dialog() {
    scroll_x = scroll_y = 0;
    view_scroll_x = view_scroll_y = 0;
    std::vector<std::string> names;
    for (const std::string& path : list_files("TSY", "tsy"))
        if (path.find('/', 4) == std::string::npos) names.push_back(base_name(path));

    panel_list own;
    own.push_back(panel_ptr(TM_NEW(OBJET, 0, 0, "0")));
    OBJET& dialog = *own.back();
    dialog.load_rc("RC/LOAD.RC");
    // Ours, except while shown: then the dialog's (show_window hands them back).
    std::vector<LABEL*> labels;
    for (std::size_t n = 0; n < names.size(); ++n) {
        char text[LABEL::caption_size];
        std::snprintf(text, sizeof text, "%32s", names[n].c_str());
        LABEL* l = TM_NEW(LABEL, text, 100, static_cast<int>(16 * (n + 1) + 10), 0, 0, 0, 12,
                          0xFFFFFFu);
        l->redraw = 1;
        labels.push_back(l);
    }
    if (names.empty())
        dialog.append(element_ptr(TM_NEW(LABEL, "No_patch_files_in_TSY_-_Esc_or_a_click_leaves",
                                         100, 66, 0, 0, 0, 12, 0xFF8080u)));
    int first = 0;
    show_window(dialog, labels, first);
    for (auto& p : own) p->update();

    std::printf("Load dialog: %zu patch file(s) in TSY; Esc or a click outside leaves\n",
                names.size());
    std::fflush(stdout);
    in_dialog_ = true;
    dialog_cancel_ = false;
    int direction = 0;
    int chosen = -1;
    hovered_panel = -1;
    hovered_widget = pressed_widget = nullptr;
    active_panel = nullptr;
    while (chosen < 0 && !dialog_cancel_ && running) {
        const int result = play_pass(own, true);
        (void)result;
        for (LABEL* l : labels) {
            if (!l->touched) l->colour = 0xFFFFFFu;
            l->redraw = 1;
        }
        for (auto it = dialog.messages.rbegin(); it != dialog.messages.rend(); ++it) {
            const GUI_MESSAGE& m = *it;
            const int row = shown_row(labels, first, m.target);
            if (m.kind == 0 && row >= 0) {
                auto* l = static_cast<LABEL*>(m.target);
                if (!std::strcmp(m.text, "TOUCH_IN")) l->colour = 0xFF0000u;
                if (!std::strcmp(m.text, "TOUCH_OUT")) l->colour = 0xFFFFFFu;
                l->redraw = 1;
            } else if (m.kind != 0 && row >= 0 && m.event_type() == event_button_up &&
                       m.event.button.button == SDL_BUTTON_LEFT) {
                chosen = first + row;
            } else if (m.kind != 0 && m.target && row < 0 &&
                       (m.event_type() == event_button_down || m.event_type() == event_button_up) &&
                       m.event.button.button == SDL_BUTTON_LEFT) {
                const bool down = m.event_type() == event_button_down;
                if (std::strstr(m.target->name, "BUTTON_OCT_DOWN")) direction = down ? 1 : 0;
                else if (std::strstr(m.target->name, "BUTTON_OCT_UP")) direction = down ? -1 : 0;
            }
        }
        // A press outside the dialog leaves it.
        if (left && !pressed_widget && !dialog.contains(press_x, press_y)) dialog_cancel_ = true;
        const int moved = dialog_scroll(first, direction, static_cast<int>(labels.size()));
        if (moved != first) {
            first = moved;
            show_window(dialog, labels, first);
        }
        if (pass_hook) pass_hook();
        push_ortho(0, 0, 1024, 768);
        glClear(GL_COLOR_BUFFER_BIT);
        dialog.mark_all(1);
        draw_visible_panels(own, 0, 0, 1);
        pop_ortho();
        SDL_GL_SwapBuffers();
        SDL_Delay(10);
    }
    in_dialog_ = false;
    hovered_panel = -1;
    hovered_widget = pressed_widget = nullptr;
    active_panel = nullptr;
    left = false;

    // Every label not shown now is ours to free; the dialog frees the others.
    show_window(dialog, labels, static_cast<int>(labels.size()));
    for (LABEL* l : labels) delete l;
    own.clear();
    if (chosen < 0) return false;
    std::printf("Load [%s]\n", names[static_cast<std::size_t>(chosen)].c_str());
    const std::string path = "TSY/" + names[static_cast<std::size_t>(chosen)];
    load(path.c_str());
    return true;
}

void editor::save_level() {
    std::printf("Patch files in TSY:\n");
    for (const std::string& path : list_files("TSY", "tsy"))
        if (path.find('/', 4) == std::string::npos) std::printf("  %s\n", base_name(path).c_str());
    std::printf("Save the shown patch as (a name in TSY, empty to cancel): ");
    std::fflush(stdout);
    std::string name;
    const bool got = read_line ? read_line(name) : static_cast<bool>(std::getline(std::cin, name));
    if (!name.empty() && name.back() == '\r') name.pop_back();
    std::string why;
    if (!got) why = "no name given (end of input)";
    else plain_file_name(name, why);
    if (!why.empty()) {
        message_line = "Not saved: " + why;
        std::printf("Not saved: %s\n", why.c_str());
        return;
    }
    // Control moves still queued in this pass reach their modules first.
    for (auto& p : *current_panels) p->update();
    std::vector<placed_module> placed;
    for (auto it = current_panels->rbegin(); it != current_panels->rend(); ++it)
        if (auto* m = dynamic_cast<MODULE_GUI*>(it->get()))
            placed.push_back({m->module, m->kind, m->x, m->y});
    const std::string path = "TSY/" + name;
    std::string error;
    if (save_patch(*current_generator, placed, path.c_str(), &error)) {
        message_line = "Saved " + path;
        std::printf("Saved %s\n", path.c_str());
        std::fflush(stdout);
    } else {
        message_line = "Not saved: " + error;
        std::printf("Not saved: %s\n", error.c_str());
    }
}

} // namespace tmod
