#include "editor/cables.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "editor/module_rows.hpp"
#include "engine/generator.hpp"
#include "engine/patch_ops.hpp"
#include "util/messages.hpp"
#include "util/num.hpp"

namespace tmod {

namespace {

bool has(const char* text, const char* word) {
    return text && std::strstr(text, word) != nullptr;
}

const char* plug_name(const SPRITE* w) {
    return w ? strip_panel_prefix(w->name) : "";
}

MODULE_GUI* module_panel(OBJET* p) {
    return dynamic_cast<MODULE_GUI*>(p);
}

// A nested level's input port follows the enclosing level's connections,
// which have no panel on this level.
constexpr module_kind uncabled_inputs[] = {module_kind::SOUND_INPUT};
bool uncabled(module_kind k) {
    for (module_kind u : uncabled_inputs)
        if (u == k) return true;
    return false;
}

// How a connection of each slot kind looks in the rebuild.
struct cable_look {
    const char* source_plug;
    std::uint32_t colour;
    const char* lost; // no panel on this level owns the source
};
const cable_look& look_of(slot_kind k) {
    static constexpr cable_look signal{"OUTPUT", cable_signal, "Return get_name_by_OBJET(NULL)\n"};
    static constexpr cable_look gate{"OUTPUT_GATE", cable_gate,
                                     "Return get_OBJECT_by_OUTPUT_GATE(NULL)\n"};
    static constexpr cable_look sync{"OUTPUT_SYNC", cable_sync,
                                     "Return get_OBJECT_by_OUTPUT_SYNC(NULL)\n"};
    return k == slot_kind::gate ? gate : k == slot_kind::sync ? sync : signal;
}

// A slot with its channel, as a plug shows it.
struct plugged_slot {
    const slot_desc* slot = nullptr;
    int channel = 0;
};

// The slot of the type a plug name stands for. Channel plugs are the
// slot's pattern ("INPUT_%d") with the channel number from 1.
plugged_slot slot_of_plug(const module_type& type, const char* plug) {
    for (const slot_desc& s : type.slots) {
        if (!s.plug) continue;
        if (s.kind != slot_kind::channel) {
            if (std::strcmp(s.plug, plug) == 0) return {&s, 0};
            continue;
        }
        const char* mark = std::strstr(s.plug, "%d");
        if (!mark) continue;
        const std::size_t n = static_cast<std::size_t>(mark - s.plug);
        if (std::strncmp(s.plug, plug, n) != 0) continue;
        char* end = nullptr;
        const long number = std::strtol(plug + n, &end, 10);
        if (end != plug + n && *end == '\0' && number >= 1 && number <= s.channel_max)
            return {&s, static_cast<int>(number) - 1};
    }
    return {};
}

// The kind of connection a drag carries.
slot_kind carried(drag_kind k) {
    switch (k) {
    case drag_kind::gate_input:
    case drag_kind::gate_output: return slot_kind::gate;
    case drag_kind::sync_input:
    case drag_kind::sync_output: return slot_kind::sync;
    default: return slot_kind::signal;
    }
}
bool same_kind(slot_kind slot, slot_kind wanted) {
    return slot == wanted || (slot == slot_kind::channel && wanted == slot_kind::signal);
}

module_ref ref_of(MODULE_GUI& p) {
    return {p.module, &type_of(p.kind)};
}

void say_refusal(const edit_result& r) {
    if (!r) say("%s\n", r.message.c_str());
}

// A channel past the ones counted first counts the ones before it, so the
// mixer reads it.
void feed(MODULE_GUI& target, const plugged_slot& s, MODULE_GUI& source) {
    if (s.slot->kind == slot_kind::channel) {
        while (s.slot->channel_count(*target.module) < s.channel)
            if (!connect(*target.module, *s.slot, {}, -1)) break;
        say_refusal(connect(*target.module, *s.slot, ref_of(source), s.channel));
        return;
    }
    say_refusal(connect(*target.module, *s.slot, ref_of(source)));
}

void cut(MODULE_GUI& target, const plugged_slot& s) {
    disconnect(*target.module, *s.slot, s.channel);
}

// Whether an input end may leave its old plug or arrive at a new one.
bool may_clear(module_kind k, slot_kind s) {
    const plug_rules& r = row_of(k).plugs;
    return s == slot_kind::gate ? r.clears_gate : s == slot_kind::sync ? r.clears_sync : true;
}
bool may_take(module_kind k, slot_kind s) {
    const plug_rules& r = row_of(k).plugs;
    return s == slot_kind::gate ? r.takes_gate : s == slot_kind::sync ? r.takes_sync : true;
}
bool offers(const MODULE_GUI& source, slot_kind s, bool to_input) {
    if (s == slot_kind::signal || s == slot_kind::channel) return type_of(source.kind).signal_out;
    const plug_rules& r = row_of(source.kind).plugs;
    if (s == slot_kind::sync && to_input && r.sync_source_warns) {
        say("Va y avoir un probleme\n");
        return false;
    }
    return to_input ? r.offers_to_inputs : r.offers_to_outputs;
}

// The name a dropped-on plug must contain, by drag kind; and the words of
// the unplug key with its messages.
struct drag_rule {
    drag_kind kind;
    const char* drop_word;
    const char* unplug_word; // null: Delete does nothing for this kind
    const char* unplugged;
    const char* refused;
};
constexpr const char* wrong_flag =
    "Mauvais branchment : Vous essayer de mettre une connexion INPUT_GATE dans une j'sais pas on "
    "s'en fout\n";
constexpr drag_rule drag_rules[] = {
    {drag_kind::signal_output, "OUTPUT", "OUTPUT", "Branchement INPUT vers OUTPUT\n",
     "Mauvais branchment : Vous essayer de mettre une connexion OUTPUT dans une INPUT\n"},
    {drag_kind::signal_input, "INPUT", "INPUT", "Branchement OUTPUT vers INPUT\n",
     "Mauvais branchment : Vous essayer de mettre une connexion INPUT dans une OUTPUT\n"},
    {drag_kind::gate_input, "INPUT_GATE", "INPUT_GATE", "Branchement OUTPUT_GATE vers INPUT_GATE\n",
     wrong_flag},
    {drag_kind::sync_input, "INPUT_SYNC", "INPUT_SYNC", "Branchement OUTPUT_SYNC vers INPUT_SYNC\n",
     wrong_flag},
    {drag_kind::gate_output, "OUTPUT_GATE", nullptr, nullptr, nullptr},
    {drag_kind::sync_output, "OUTPUT_SYNC", nullptr, nullptr, nullptr},
};
const drag_rule& rule_of(drag_kind k) {
    return drag_rules[static_cast<int>(k)]; // rows in kind order
}

drag_kind kind_of_press(const char* name, bool input_end) {
    if (has(name, "_GATE")) return input_end ? drag_kind::gate_input : drag_kind::gate_output;
    if (has(name, "_SYNC")) return input_end ? drag_kind::sync_input : drag_kind::sync_output;
    return input_end ? drag_kind::signal_input : drag_kind::signal_output;
}

void centre(const OBJET& panel, const SPRITE& w, int& x, int& y) {
    x = saturating_int(panel.x + w.x + w.w / 2);
    y = saturating_int(panel.y + w.y + w.h / 2);
}

} // namespace

SPRITE* find_plug(const OBJET& panel, const char* name) {
    panel.need_faces();
    for (auto it = panel.elements_back.rbegin(); it != panel.elements_back.rend(); ++it)
        if (std::strcmp(plug_name(it->get()), name) == 0) return it->get();
    return nullptr;
}

void cable_editor::clear() {
    end_drag();
    cables.clear();
}

void cable_editor::end_drag() {
    dragged = nullptr;
    moved = false;
    pressed_plug = nullptr;
    pressed_panel = nullptr;
}

void cable_editor::rebuild(GENERATOR& level, const panel_list& panels) {
    clear();
    // The source's panel: the last one of the list whose module owns the output.
    std::unordered_map<const OUTPUT*, MODULE_GUI*> panel_of;
    for (auto it = panels.rbegin(); it != panels.rend(); ++it)
        if (auto* m = module_panel(it->get())) panel_of.emplace(m->module, m);
    const source_index sources(level);
    for (const panel_ptr& p : panels) {
        MODULE_GUI* target = module_panel(p.get());
        if (!target || uncabled(target->kind)) continue;
        const module_type& type = type_of(target->kind);
        OUTPUT& m = *target->module;
        for (const slot_desc& s : type.slots) {
            if (!s.plug) continue;
            const int channels =
                s.kind == slot_kind::channel ? std::min(s.channel_count(m), s.channel_max) : 1;
            for (int c = 0; c < channels; ++c) {
                const OUTPUT* source = nullptr;
                switch (s.kind) {
                case slot_kind::signal:
                case slot_kind::channel: {
                    const sample_value* field = s.kind == slot_kind::signal
                                                    ? s.signal(m)->source()
                                                    : s.channel(m, c)->source();
                    if (!field) continue;
                    source = sources.source_of_signal(field);
                    break;
                }
                case slot_kind::gate:
                case slot_kind::sync: {
                    const flag_value* field = s.flag(m)->source();
                    if (!field) continue;
                    source = s.kind == slot_kind::gate ? sources.source_of_gate(field)
                                                       : sources.source_of_sync(field);
                    break;
                }
                }
                const cable_look& look = look_of(s.kind);
                const auto found = source ? panel_of.find(source) : panel_of.end();
                MODULE_GUI* from = found == panel_of.end() ? nullptr : found->second;
                if (!from) {
                    say("%s", look.lost);
                    continue;
                }
                char plug[32];
                if (s.kind == slot_kind::channel) {
                    const char* mark = std::strstr(s.plug, "%d");
                    const int n = mark ? static_cast<int>(mark - s.plug) : 0;
                    std::snprintf(plug, sizeof plug, "%.*s%d", n, s.plug, c + 1);
                } else {
                    std::snprintf(plug, sizeof plug, "%s", s.plug);
                }
                SPRITE* in = find_plug(*target, plug);
                if (!in) {
                    say("[%s] has no plug %s\n", m.name, plug);
                    continue;
                }
                SPRITE* out = find_plug(*from, look.source_plug);
                if (!out) {
                    say("Cannot find OUTPUT of Object connected [%s]\n", from->module->name);
                    continue;
                }
                cables.push_back(std::make_unique<CABLE>(target, from, in, out, look.colour));
            }
        }
    }
    relink_ = 0;
}

bool cable_editor::end_a_loose() const {
    return static_cast<int>(kind) >= 1 && static_cast<int>(kind) <= 3;
}

int cable_editor::press(OBJET* panel, SPRITE* w, bool pick_up_source) {
    if (!panel || !w) return 0;
    pressed_plug = w;
    pressed_panel = panel;
    for (auto& c : cables)
        if (pick_up_source && c->widget_b == w) {
            c->toggle_end_plug(0, 0);
            kind = kind_of_press(w->name, false);
            dragged = c.get();
            return 1;
        }
    for (auto& c : cables)
        if (c->widget_a == w) {
            c->toggle_start_plug(0, 0);
            kind = kind_of_press(w->name, true);
            dragged = c.get();
            return 1;
        }
    if (new_cable) {
        say("Now New Link ou kwa :|\n");
        return 0;
    }
    cables.push_back(std::make_unique<CABLE>(nullptr, panel, nullptr, w, cable_drawn));
    new_cable = true;
    kind = kind_of_press(w->name, true);
    dragged = cables.back().get();
    return 1;
}

void cable_editor::motion(int x, int y) {
    if (!dragged) return;
    if (end_a_loose())
        dragged->x1 = x, dragged->y1 = y;
    else
        dragged->x2 = x, dragged->y2 = y;
    moved = true;
}

void cable_editor::drop(OBJET* panel, SPRITE* w) {
    new_cable = false;
    if (dragged) {
        if (end_a_loose())
            dragged->toggle_start_plug(0, 0);
        else
            dragged->toggle_end_plug(0, 0);
    }
    if (!dragged || !moved) {
        // A plain click: the cable it started waits for the next rebuild.
        end_drag();
        return;
    }
    CABLE& c = *dragged;
    const drag_rule& rule = rule_of(kind);
    const slot_kind what = carried(kind);
    SPRITE* fixed = end_a_loose() ? c.widget_b : c.widget_a;
    MODULE_GUI* target = module_panel(panel);
    const bool plug = w && (has(w->name, "OUTPUT") || has(w->name, "INPUT")) && w != fixed;
    if (target && plug && has(w->name, rule.drop_word)) {
        if (end_a_loose()) {
            MODULE_GUI* source = module_panel(c.panel_b);
            MODULE_GUI* old = module_panel(c.panel_a);
            const plugged_slot to = slot_of_plug(type_of(target->kind), plug_name(w));
            plugged_slot from;
            if (old) from = slot_of_plug(type_of(old->kind), plug_name(c.widget_a));
            const bool take = source && to.slot && same_kind(to.slot->kind, what) &&
                              may_take(target->kind, what) && offers(*source, what, true);
            const bool clear = take && old && from.slot && !right_ctrl_held &&
                               may_clear(old->kind, what);
            // A gate cable's new input is set before the old one is cleared.
            const bool set_first = what == slot_kind::gate;
            if (clear && !set_first) cut(*old, from);
            if (take && !delete_held) feed(*target, to, *source);
            if (clear && set_first) cut(*old, from);
        } else if (MODULE_GUI* input = module_panel(c.panel_a)) {
            const plugged_slot at = slot_of_plug(type_of(input->kind), plug_name(c.widget_a));
            if (at.slot && same_kind(at.slot->kind, what) && offers(*target, what, false) &&
                !delete_held && !right_ctrl_held)
                feed(*input, at, *target);
        }
    }
    relink_ = 1;
    end_drag();
}

int cable_editor::unplug() {
    delete_held = true;
    new_cable = false;
    if (!dragged || !pressed_plug) return 0;
    const drag_rule& rule = rule_of(kind);
    if (!rule.unplug_word) return 0;
    if (!has(pressed_plug->name, rule.unplug_word)) {
        say("%s", rule.refused);
        return 0;
    }
    say("%s", rule.unplugged);
    // The input side of the held cable: the pressed plug itself when it is
    // one, else end A.
    OBJET* panel = end_a_loose() ? pressed_panel : dragged->panel_a;
    SPRITE* plug = end_a_loose() ? pressed_plug : dragged->widget_a;
    MODULE_GUI* input = module_panel(panel);
    if (input && !right_ctrl_held) {
        const plugged_slot s = slot_of_plug(type_of(input->kind), plug_name(plug));
        if (s.slot) cut(*input, s);
    }
    if (kind == drag_kind::sync_input)
        if (MODULE_GUI* source = module_panel(dragged->panel_b);
            source && row_of(source->kind).plugs.sync_source_warns)
            say("Va y avoir un probleme\n");
    relink_ = 1;
    return 6;
}

void cable_editor::follow_panels() {
    for (auto& c : cables) {
        const bool a = c->panel_a && c->widget_a, b = c->panel_b && c->widget_b;
        if (c.get() == dragged) {
            // Only the fixed end follows its panel; the loose one follows the pointer.
            if (end_a_loose() && b) centre(*c->panel_b, *c->widget_b, c->x2, c->y2);
            if (!end_a_loose() && a) centre(*c->panel_a, *c->widget_a, c->x1, c->y1);
            continue;
        }
        if (a || b) c->set_ends(c->panel_a, c->panel_b, c->widget_a, c->widget_b, c->colour);
    }
}

void cable_editor::draw() {
    follow_panels();
    for (auto& c : cables) c->draw_cable();
}

} // namespace tmod
