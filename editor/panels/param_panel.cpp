#include "editor/panels/param_panel.hpp"

#include "editor/panels/panel_factories.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <unordered_map>

#include "engine/patch_ops.hpp"
#include "toolkit/image_bank.hpp"
#include "toolkit/widgets.hpp"
#include "util/num.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {

// Sliders of an indexed parameter stepped as a plain one: the control word
// names them ("SLD_FREQ_%02d", numbered from 1) and their labels are
// "LABEL_" and the rest. Parameters set otherwise (mixer knobs) are not.
bool stepped_sliders(const param_desc& d) {
    return d.count > 1 && d.control && d.get && d.step != step_rule::none &&
           std::strncmp(d.control, "SLD_", 4) == 0 && std::strchr(d.control, '%');
}
std::string numbered_control(const char* pattern, int n) {
    char out[96];
    std::snprintf(out, sizeof out, pattern, n);
    return out;
}

template <class Row>
const Row* row_for(table_view<Row> rows, const char* element) {
    for (const Row& r : rows)
        if (std::strcmp(r.element, element) == 0) return &r;
    return nullptr;
}

const param_desc* find_key(const module_type& type, const char* key) {
    for (const auto& table : {type.params, type.panel_params})
        for (const param_desc& p : table)
            if (p.key && std::strcmp(p.key, key) == 0) return &p;
    return nullptr;
}

bool is_display(const editor_row& row, const char* control) {
    for (const cycle_display& c : row.displays)
        if (std::strcmp(c.param_control, control) == 0 &&
            std::strcmp(c.element, c.param_control) == 0)
            return true;
    return false;
}

const char* name_of(const param_desc& d, double v) {
    const double i = v - d.min;
    if (i < 0 || i >= static_cast<double>(d.names.size)) return nullptr;
    return d.names[static_cast<std::size_t>(i)];
}

} // namespace

std::string panel_prefix(const char* panel_name) {
    const char* last = std::strrchr(panel_name, '_');
    return last ? std::string(last + 1) : std::string(panel_name);
}

int load_layout(OBJET& panel, const char* path) {
    char full_name[OBJET::text_size];
    std::memcpy(full_name, panel.panel_name, sizeof full_name);
    const std::string prefix = panel_prefix(full_name);
    std::snprintf(panel.panel_name, sizeof panel.panel_name, "%s", prefix.c_str());
    const int result = panel.load_rc(path);
    std::memcpy(panel.panel_name, full_name, sizeof full_name);
    return result;
}

void load_faces(OBJET& panel, const char* back_rc, const char* front_rc) {
    // The back face (the plugs edit mode shows) first, the front face last, so
    // the panel is left showing its front.
    if (back_rc) {
        panel.elements = &panel.elements_back;
        load_layout(panel, back_rc);
        panel.back_w = static_cast<int>(panel.width);
        panel.back_h = static_cast<int>(panel.height);
    }
    panel.elements = &panel.elements_front;
    if (front_rc) load_layout(panel, front_rc);
    panel.front_w = static_cast<int>(panel.width);
    panel.front_h = static_cast<int>(panel.height);
}

PARAM_GUI::PARAM_GUI(const editor_row& r, OUTPUT& m, const char* panel_name)
    : MODULE_GUI(r.kind, m, 0, 0, panel_name), type(type_of(r.kind)), row(r) {
    wait_for_faces();
}

void prepare_faces(PARAM_GUI& panel) {
    // Sizes come from the layouts and the images: new images may change them.
    struct measured {
        unsigned generation;
        OBJET::face_sizes sizes;
    };
    static std::unordered_map<const editor_row*, measured> by_row;
    const unsigned generation = image_bank().generation;
    const auto known = by_row.find(&panel.row);
    if (known != by_row.end() && known->second.generation == generation) {
        panel.take_sizes(known->second.sizes);
        return;
    }
    panel.need_faces();
    by_row[&panel.row] = {generation, panel.sizes()};
}

void refresh_panels(const panel_list& panels) {
    for (const panel_ptr& p : panels) {
        if (auto* shown = dynamic_cast<PARAM_GUI*>(p.get())) shown->refresh();
        if (auto* nested = dynamic_cast<GENERATOR_GUI*>(p.get())) refresh_panels(nested->panels);
    }
}

void PARAM_GUI::build_faces() {
    load_faces(*this, row.layouts.back, row.layouts.controls);
    add_elements();
    show_values();
    show_text("label_NAME", module->name);
}

void PARAM_GUI::set_display_mode(int mode) {
    need_faces();
    if (mode == 0) mode = display_mode == front ? reduced : front;
    if (mode == reduced && elements_reduced.empty() && row.small_layout) {
        element_list* shown = elements;
        elements = &elements_reduced;
        load_layout(*this, row.small_layout);
        reduced_w = static_cast<int>(width);
        reduced_h = static_cast<int>(height);
        elements = shown;
    }
    OBJET::set_display_mode(mode);
}

std::string PARAM_GUI::prefixed(const std::string& local) const {
    return panel_prefix(panel_name) + "_" + local;
}

bool PARAM_GUI::holds(const SPRITE* element) const {
    for (const element_list* list : {&elements_front, &elements_back, &elements_reduced})
        for (const element_ptr& e : *list)
            if (e.get() == element) return true;
    return false;
}

LABEL* PARAM_GUI::label(const char* name) const {
    return dynamic_cast<LABEL*>(find_element(name));
}

void PARAM_GUI::show_text(const char* label_name, const std::string& text) {
    LABEL* l = label(label_name);
    if (l && text != l->caption) l->set_caption(text.c_str());
}

void PARAM_GUI::show_picture(const char* element, const char* image) {
    SPRITE* e = find_element(element);
    if (!e || !image || std::strcmp(e->image, image) == 0) return;
    // A clickable display is a button: its state images become the picture.
    if (auto* b = dynamic_cast<BUTTON*>(e)) {
        copy_text(b->image_off, image);
        copy_text(b->image_on, image);
        if (b->image_touched[0] != '0') copy_text(b->image_touched, image);
    }
    e->set_image(image);
    e->redraw = 1;
}

void PARAM_GUI::show_angle(const char* slider, int a) {
    if (auto* s = dynamic_cast<SLIDER*>(find_element(slider))) s->angle = a;
}

void PARAM_GUI::show_knob(const char* slider, double position) {
    show_angle(slider, static_cast<int>(std::lround(135.0 - 270.0 * position)));
}

void PARAM_GUI::show_state(const char* button, int state) {
    if (auto* b = dynamic_cast<BUTTON*>(find_element(button))) {
        if (b->state != state) b->redraw = 1;
        b->state = state;
        b->set_image(state ? b->image_on : b->image_off);
    }
}

double PARAM_GUI::value(const param_desc& d, int index) const {
    return d.get ? d.get(*module, index) : 0.0;
}

void PARAM_GUI::change(const param_desc& d, int index, double v) {
    if (!d.set) return;
    set_param(*module, d, index, v);
    // A change the audio thread applies shows once it has.
    stale_ = stale_ || d.audio_thread;
    refresh();
}

void PARAM_GUI::show_values() {
    for (const auto& table : {type.params, type.panel_params}) {
        for (const param_desc& d : table) {
            // Indexed parameters ("SLD_CANAL_%d") belong to their panels' own code.
            if (stepped_sliders(d)) {
                for (int i = 0; i < d.count; ++i) {
                    const std::string slider = numbered_control(d.control, i + 1);
                    const double v = value(d, i);
                    show_text(("LABEL_" + slider.substr(4)).c_str(), shown_text(d, v));
                    show_knob(slider.c_str(), knob_position(d, v));
                }
                continue;
            }
            if (!d.control || !d.get || d.count != 1 || std::strchr(d.control, '%')) continue;
            const double v = value(d);
            if (d.step == step_rule::toggle) {
                show_state(d.control, saturating_int(v));
                continue;
            }
            if (is_display(row, d.control)) continue;
            std::string label_name = std::string("LABEL_") + d.control;
            double angle_scale = 0.0;
            for (const control_view& c : row.control_views)
                if (std::strcmp(c.control, d.control) == 0)
                    label_name = c.label, angle_scale = c.angle_scale;
            show_text(label_name.c_str(), shown_text(d, v));
            for (const std::string& knob :
                 {std::string("SLD_") + d.control, std::string(d.control)}) {
                if (angle_scale != 0.0)
                    show_angle(knob.c_str(), saturating_int(static_cast<int>(v) * angle_scale));
                else
                    show_knob(knob.c_str(), knob_position(d, v));
            }
        }
    }
    for (const cycle_display& c : row.displays) {
        const param_desc* d = find_control(type, c.param_control);
        if (!d || !d->get) continue;
        const double v = value(*d);
        const double i = static_cast<int>(v) - d->min;
        // A value without a picture (a filter TYPE 0 from a file) keeps the last one.
        if (i >= 0 && i < static_cast<double>(c.pictures.size))
            show_picture(c.element, c.pictures[static_cast<std::size_t>(i)]);
        if (c.label) {
            const char* n = name_of(*d, static_cast<int>(v));
            show_text(c.label, n ? std::string(n) : std::string());
        }
    }
    for (const digit_view& dv : row.digit_views) {
        if (const param_desc* d = find_key(type, dv.key)) {
            char image[64];
            std::snprintf(image, sizeof image, dv.image_format, saturating_int(value(*d)));
            show_picture(dv.element, image);
        }
    }
    refresh_live();
}

void PARAM_GUI::refresh_live() {
    for (const live_view& l : row.live_views) {
        const double v = module->value.load();
        std::string text;
        append_number(text, "%6.3f", v);
        show_text(l.label, text);
        if (l.lamp) show_picture(l.lamp, v > 0 ? "CHK_1_ON" : "CHK_1_OFF");
    }
}

bool PARAM_GUI::on_button(const char* control, int mouse_button) {
    if (std::strstr(control, "POWER")) {
        const param_desc* d = find_control(type, "POWER");
        if (d) change(*d, 0, step_value(*d, value(*d), 1));
        return d != nullptr;
    }
    if (const cycle_display* c = row_for(row.displays, control)) {
        const param_desc* d = find_control(type, c->param_control);
        if (!d) return false;
        const int dir = mouse_button == 5 ? -1 : 1;
        const double v = value(*d);
        double next;
        if (d->step == step_rule::cycle) {
            next = step_value(*d, v, dir);
        } else {
            // Whole values through min .. max, wrapping at both ends.
            const int lo = saturating_int(d->min), hi = saturating_int(d->max);
            const int i = static_cast<int>(v) + dir;
            next = i > hi ? lo : i < lo ? hi : i;
        }
        change(*d, 0, next);
        return true;
    }
    if (const step_button* b = row_for(row.step_buttons, control)) {
        const param_desc* d = find_key(type, b->key);
        if (!d) return false;
        const double v = value(*d);
        change(*d, 0,
               d->step == step_rule::fixed ? step_value(*d, v, b->direction) : v + b->direction);
        return true;
    }
    const param_desc* d = find_control(type, control);
    if (d && d->step == step_rule::toggle) {
        change(*d, 0, step_value(*d, value(*d), 1));
        return true;
    }
    return false;
}

bool PARAM_GUI::on_slider(const char* name, bool down) {
    const char* control = std::strncmp(name, "SLD_", 4) == 0 ? name + 4 : name;
    const param_desc* d = find_control(type, control);
    if (!d) {
        for (const param_desc& p : type.panel_params) {
            if (!stepped_sliders(p)) continue;
            for (int i = 0; i < p.count; ++i)
                if (numbered_control(p.control, i + 1) == name) {
                    change(p, i, step_value(p, value(p, i), slider_direction(down)));
                    return true;
                }
        }
        return false;
    }
    if (!d->get || d->step == step_rule::none || d->count != 1) return false;
    change(*d, 0, step_value(*d, value(*d), slider_direction(down)));
    return true;
}

int PARAM_GUI::update() {
    if (!faces_built()) return OBJET::update();
    // Newest first, as the widgets take their own queues.
    std::vector<GUI_MESSAGE> pending;
    pending.swap(messages);
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        const GUI_MESSAGE& m = *it;
        if (!m.target || !holds(m.target)) continue;
        const char* control = strip_panel_prefix(m.target->name);
        const bool slider = dynamic_cast<SLIDER*>(m.target) != nullptr;
        const int mouse_button = m.kind != 0 ? m.event.button.button : 0;
        if (m.kind != 0 && m.event_type() == event_button_up && slider &&
            (mouse_button == 4 || mouse_button == 5)) {
            // The wheel over a knob raises it up and lowers it down.
            on_slider(control, mouse_button == 5);
        } else if (m.kind != 0 && m.event_type() == event_button_up)
            on_button(control, m.event.button.button);
        else if (m.kind == 0 && std::strstr(m.text, "SLD_") && slider)
            on_slider(control, std::strstr(m.text, "SLD_DOWN") != nullptr);
    }
    if (stale_ && !edits_pending()) {
        stale_ = false;
        refresh();
    }
    refresh_live();
    show_text("label_NAME", module->name);
    return OBJET::update();
}

} // namespace tmod

namespace tmod {

panel_ptr make_param_panel(const editor_row& row, OUTPUT& module, const char* name) {
    return made(std::make_unique<PARAM_GUI>(row, module, name));
}

} // namespace tmod
