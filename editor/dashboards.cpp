#include "editor/dashboards.hpp"

#include <cstdio>
#include <cstring>

#include "editor/editor_layout.hpp"
#include "editor/levels.hpp"
#include "editor/module_rows.hpp"
#include "editor/view.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "toolkit/damage.hpp"
#include "toolkit/widgets.hpp"
#include "util/alloc_tracker.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
// The type word the information panel shows.
const char* info_type_word(module_kind k) {
    const char* word = row_of(k).info_word;
    return word ? word : type_of(k).class_name;
}
} // namespace

INFO_DASH::INFO_DASH(const levels& shown, const view& v, const bool& unsaved)
    : OBJET(0, 0, "58"), levels_(shown), view_(v), unsaved_(unsaved) {
    load_rc("RC/DASH.RC");
    set_position(50, 450, 0);
    set_position(0, 0, 0);
    name_label_ =
        static_cast<LABEL*>(append(element_ptr(TM_NEW(LABEL, "", 70, 70, 0, 0, 0, 10, 0xFFFFFFu))));
    type_label_ =
        static_cast<LABEL*>(append(element_ptr(TM_NEW(LABEL, "", 70, 85, 0, 0, 0, 10, 0xFFFFFFu))));
    // A label's constructor flips y (747 - y), as layout files expect; the
    // two made here are placed where they belong.
    name_label_->set_position(70, 70, 0); // inside the LCD below (64 .. 104)
    type_label_->set_position(70, 85, 0);
    name_label_->set_name("58_CIBLE_NAME");
    type_label_->set_name("58_LABEL_TYPE");
}

void INFO_DASH::set_target(OBJET* panel, SPRITE* widget) {
    redraw = 1;
    target = panel;
    name_label_->set_caption("");
    type_label_->set_caption("");
    auto* m = dynamic_cast<MODULE_GUI*>(panel);
    if (!m || !m->module->name[0]) return;
    // A control bound to a parameter says its value; anything else on the
    // panel, the module and its type.
    const param_desc* d = control_param(*m, widget);
    std::string line = escaped_controls(m->module->name);
    if (d && d->get && d->count == 1)
        line += std::string(" ") + (d->key ? d->key : d->control) + " " +
                shown_text(*d, d->get(*m->module, 0));
    name_label_->set_caption(line.c_str());
    type_label_->set_caption(info_type_word(m->kind));
}

void INFO_DASH::draw(int unused, int with_background) {
    redraw = 1;
    OBJET::draw(unused, with_background);
    const float sx = x - static_cast<float>(view_.x()) + 10;
    const float sy = y - static_cast<float>(view_.y());
    const std::array<std::string, 3> text = lines();
    for (std::size_t i = 0; i < text.size(); ++i)
        screen_text(name_label_->font, 10, sx, sy + 25 + 10 * static_cast<float>(i), 0xFFFFFFu,
                    text[i].c_str());
}

std::uint64_t INFO_DASH::own_look() const {
    look_hash k;
    for (const std::string& line : lines()) k.text(line.c_str());
    return k.h;
}

std::array<std::string, 3> INFO_DASH::lines() const {
    std::array<std::string, 3> out;
    char line[1024];
    const GENERATOR& g = levels_.generator();
    const GENERATOR_GUI* gui = levels_.gui();
    const int depth = levels_.depth();
    const char* mark = unsaved_ ? " *" : "";
    // Where am I: the files of the levels from the root, then the tempo.
    std::string where;
    for (const GENERATOR* level : levels_.chain()) {
        if (!where.empty()) where += " > ";
        const char* file = std::strrchr(level->file_name, '/');
        where += escaped_controls(file ? file + 1 : level->file_name);
    }
    if (gui)
        std::snprintf(line, sizeof line, "CurGenLevel [%d] Named[%s%s   %s]   BPM %d", depth,
                      where.c_str(), mark, gui->name, tempo_bpm.load());
    else
        std::snprintf(line, sizeof line, "CurGenLevel [%d] Named[%s   NULL:NULL]", depth,
                      g.file_name);
    out[0] = line;
    if (gui) {
        std::snprintf(line, sizeof line, "Generator Present [%zu]",
                      g.count(module_kind::GENERATOR));
        out[1] = line;
        // The stack counts the root level and every level entered.
        std::snprintf(line, sizeof line, "Objet present [%zu] Stack [%d]",
                      levels_.panels().size(), depth + 1);
    } else {
        std::snprintf(line, sizeof line, "Pas d'Objet present");
    }
    out[2] = line;
    return out;
}
void dashboards::make(panel_list& root_panels) {
    clear();
    auto info = panel_ptr(TM_NEW(INFO_DASH, levels_, view_, unsaved));
    auto palette = panel_ptr(TM_NEW(OBJET, 0, 0, "59"));
    palette->load_rc("RC/MODULE_DASH.RC");
    palette->set_position(module_dash_x, 0, 0);
    auto system = panel_ptr(TM_NEW(OBJET, 0, 0, "60"));
    system->load_rc("RC/SYSTEM_DASH.RC");
    system->set_position(system_dash_x, 0, 0);
    info_ = static_cast<INFO_DASH*>(info.get());
    palette_ = palette.get();
    system_ = system.get();
    kept_.push_back(std::move(info));
    kept_.push_back(std::move(palette));
    kept_.push_back(std::move(system));
    dock();
    if (shown_) put_in(root_panels);
}

void dashboards::clear() {
    kept_.clear();
    info_ = nullptr;
    palette_ = system_ = nullptr;
}

void dashboards::put_in(panel_list& root_panels) {
    root_panels.insert(root_panels.begin(), std::make_move_iterator(kept_.begin()),
                       std::make_move_iterator(kept_.end()));
    kept_.clear();
}

void dashboards::toggle(panel_list& root_panels) {
    shown_ = !shown_;
    if (shown_) {
        dock();
        put_in(root_panels);
        return;
    }
    for (OBJET* d : {static_cast<OBJET*>(info_), palette_, system_})
        for (auto it = root_panels.begin(); it != root_panels.end(); ++it)
            if (it->get() == d) {
                kept_.push_back(std::move(*it));
                root_panels.erase(it);
                break;
            }
}

void dashboards::dock() {
    const float x = static_cast<float>(view_.x()), y = static_cast<float>(view_.y());
    if (info_) info_->set_position(x, y, 0);
    if (system_) system_->set_position(x + system_dash_x, y, 0);
    if (palette_) palette_->set_position(x + module_dash_x, y, 0);
}

bool dashboards::is_dashboard(const OBJET* p) const {
    return p && (p == info_ || p == palette_ || p == system_);
}

// The palette and the system panel act on button releases; their OBJET update
// then routes the same messages to the buttons.
dashboard_actions dashboards::take_actions() {
    dashboard_actions a;
    auto released = [](const GUI_MESSAGE& m) {
        return m.kind != 0 && m.event_type() == event_button_up && m.target;
    };
    if (palette_)
        for (const GUI_MESSAGE& m : palette_->messages)
            if (released(m))
                if (const module_type* t = type_for_palette_name(m.target->name))
                    a.create.push_back(t->kind);
    if (system_)
        for (const GUI_MESSAGE& m : system_->messages)
            if (released(m)) {
                const char* n = m.target->name;
                if (std::strstr(n, "LOAD"))
                    a.load = true;
                else if (std::strstr(n, "SAVE"))
                    a.save = true;
                else if (std::strstr(n, "FILS"))
                    a.flip_mode = true;
            }
    // Each release acts once: the buttons take their messages now.
    for (OBJET* d : {palette_, system_})
        if (d && !d->messages.empty()) {
            d->update();
            d->redraw = 1;
        }
    // A palette button adds a module each time: it never stays lit.
    if (palette_)
        for (const element_ptr& e : *palette_->elements)
            if (auto* b = dynamic_cast<BUTTON*>(e.get()); b && b->state) {
                b->state = 0;
                b->set_image(b->image_off);
            }
    return a;
}

} // namespace tmod
