#include "editor/learn_gesture.hpp"

#include <cstdio>

#include "editor/layers/host.hpp"
#include "engine/generator.hpp"
#include "engine/midi_map.hpp"
#include "remote/midi_learn.hpp"
#include "toolkit/panel.hpp"
#include "toolkit/scene_objects.hpp"
#include "util/num.hpp"
#include "util/text.hpp"

namespace tmod {

bool learn_gesture::click(editor_host& ed, OBJET* panel, SPRITE* widget, bool left, bool inverted) {
    if (left && cancel(ed)) return true;
    auto* gui = dynamic_cast<MODULE_GUI*>(panel);
    const param_desc* d = gui ? control_param(*gui, widget) : nullptr;
    const std::string module = gui ? escaped_controls(gui->module->name) : "";
    if (!d) {
        ed.say("MIDI learn: no control under the pointer");
        return true;
    }
    const char* key = param_name(*d);
    const std::string what = module + " " + (key ? key : "");
    if (!left) {
        const int gone = ed.levels().generator().midi.forget(gui->module->name, key ? key : "");
        ed.say(what + (gone ? ": " + std::to_string(gone) + " MIDI mapping(s) forgotten"
                            : ": no MIDI mapping to forget"));
        return true;
    }
    if (!key || find_learnable(type_of(gui->kind), key) != d) {
        ed.say(what + " cannot follow a controller: it has no whole range");
        return true;
    }
    midi_learn().arm({&ed.levels().generator(), gui->module->name, key, inverted});
    panel_ = panel, widget_ = widget;
    ed.say("move a controller for " + what + (inverted ? " (inverted)" : ""));
    std::printf("MIDI learn: %s\n", ed.message().c_str());
    std::fflush(stdout);
    return true;
}

bool learn_gesture::cancel(editor_host& ed) {
    if (!midi_learn().armed()) return false;
    midi_learn().cancel();
    panel_ = nullptr, widget_ = nullptr;
    ed.say("MIDI learn cancelled");
    return true;
}

void learn_gesture::panels_rebuilt() {
    if (panel_) midi_learn().cancel();
    panel_ = nullptr, widget_ = nullptr;
}

void learn_gesture::pass(editor_host& ed) {
    std::string told;
    if (!midi_learn().told(told)) return;
    panel_ = nullptr, widget_ = nullptr;
    ed.say("MIDI learn: " + told);
    // Also on the terminal, where a script sees what was bound.
    std::printf("%s\n", ed.message().c_str());
    std::fflush(stdout);
}

screen_rect learn_gesture::frame(editor_host& ed) const {
    if (!panel_ || !widget_ || !midi_learn().armed()) return {};
    bool shown = false;
    for (const auto& p : ed.levels().panels()) shown = shown || p.get() == panel_;
    // The face shown now holds it (not the back of edit mode, not the small form).
    bool on_face = false;
    if (shown)
        for (const auto& e : *panel_->elements) on_face = on_face || e.get() == widget_;
    if (!on_face) return {};
    return {saturating_int(panel_->x + widget_->x), saturating_int(panel_->y + widget_->y),
            saturating_int(widget_->w * widget_->zoom), saturating_int(widget_->h * widget_->zoom)};
}

void learn_gesture::draw(editor_host& ed) const {
    const screen_rect f = frame(ed);
    if (f.empty()) return;
    constexpr std::uint32_t colour = 0xFFFF40FFu; // magenta, as the cable being drawn
    fill_rect(f.x - 3, f.y - 3, f.w + 6, 3, colour);
    fill_rect(f.x - 3, f.y + f.h, f.w + 6, 3, colour);
    fill_rect(f.x - 3, f.y, 3, f.h, colour);
    fill_rect(f.x + f.w, f.y, 3, f.h, colour);
}

void learn_gesture::find_damage(editor_host& ed, damage& d) {
    const screen_rect f = frame(ed);
    // fill_rect's window place: the scroll off, drawn lower than given.
    const screen_rect now =
        f.empty() ? screen_rect{}
                  : screen_rect{f.x - 3 - ed.view().x(), f.y - 3 + fill_draw_shift - ed.view().y(),
                                f.w + 6, f.h + 6};
    if (now == drawn_) return;
    if (!drawn_.empty()) d.add(drawn_);
    if (!now.empty()) d.add(now);
    drawn_ = now;
}

} // namespace tmod
