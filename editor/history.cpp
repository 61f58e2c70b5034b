#include "editor/history.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <unordered_map>

#include "editor/levels.hpp"
#include "editor/module_rows.hpp"
#include "engine/generator.hpp"
#include "engine/nested_loader.hpp"
#include "engine/patch_ops.hpp"
#include "patchfile/patch_reader.hpp"

namespace tmod {

namespace {

// Every parameter of the type the user sets, in the order states keep them.
template <class Visit>
void each_value(const module_type& t, Visit visit) {
    for (const auto& table : {t.params, t.panel_params})
        for (const param_desc& d : table)
            if (user_state(d))
                for (int i = 0; i < d.count; ++i) visit(d, i);
}

// Every file name parameter of the type, in the order states keep them.
template <class Visit>
void each_text(const module_type& t, Visit visit) {
    for (const auto& table : {t.params, t.panel_params})
        for (const param_desc& d : table)
            if (d.text && d.apply && d.key) visit(d);
}

// A nested patch named again by undo is read as a load would read it.
class reload final : public nested_loader {
  public:
    void load_nested(GENERATOR& container, const char* path) override { load_patch(container, path); }
};

int counted_channels(const slot_desc& s, const OUTPUT& m) {
    return std::clamp(s.channel_count(m), 0, s.channel_max);
}

// Every slot and channel of the module with what feeds it.
template <class Visit>
void each_link(const source_index& g, OUTPUT& m, const module_type& t, Visit visit) {
    auto named = [](const OUTPUT* source, slot_kind output) {
        return source ? slot_link{source->name, output} : slot_link{};
    };
    for (const slot_desc& s : t.slots) {
        switch (s.kind) {
        case slot_kind::signal:
            visit(s, 0, named(g.source_of_signal(s.signal(m)->source()), slot_kind::signal));
            break;
        case slot_kind::gate:
            visit(s, 0, named(g.source_of_gate(s.flag(m)->source()), slot_kind::gate));
            break;
        case slot_kind::sync:
            visit(s, 0, named(g.source_of_sync(s.flag(m)->source()), slot_kind::sync));
            break;
        case slot_kind::channel:
            for (int c = 0; c < counted_channels(s, m); ++c)
                visit(s, c, named(g.source_of_signal(s.channel(m, c)->source()), slot_kind::signal));
            break;
        }
    }
}

std::string number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The words of an edit: the one value it changed, or what it did.
std::string describe(const edit& e) {
    if (e.changes.size() != 1) return std::to_string(e.changes.size()) + " modules changed";
    const module_change& c = e.changes[0];
    if (!c.before) return c.after->name + " made";
    if (!c.after) return c.before->name + " removed";
    const module_state &a = *c.before, &b = *c.after;
    if (a.values != b.values) {
        std::size_t at = 0, differing = 0;
        std::string words;
        each_value(type_of(a.kind), [&](const param_desc& d, int i) {
            if (at < a.values.size() && a.values[at] != b.values[at] && differing++ == 0) {
                const char* key = d.key ? d.key : d.control ? d.control : "value";
                words = a.name + " " + key + (d.count > 1 ? " " + std::to_string(i + 1) : "") +
                        " " + number(a.values[at] * d.scale) + " -> " +
                        number(b.values[at] * d.scale);
            }
            ++at;
        });
        if (differing == 1) return words;
        return a.name + ": " + std::to_string(differing) + " values";
    }
    if (a.links != b.links || a.channels != b.channels) return "cables of " + a.name;
    if (a.midi != b.midi) return "MIDI mappings of " + a.name;
    if (a.x != b.x || a.y != b.y) return a.name + " moved";
    return a.name + " panel";
}

} // namespace

bool module_state::operator==(const module_state& o) const {
    return kind == o.kind && name == o.name && index == o.index && values == o.values &&
           texts == o.texts && links == o.links && channels == o.channels && x == o.x && y == o.y &&
           midi == o.midi && (back || o.back || mode == o.mode);
}

std::size_t module_state::bytes() const {
    std::size_t n = sizeof *this + name.size() + values.size() * sizeof(double) +
                    channels.size() * sizeof(int);
    for (const std::string& t : texts) n += sizeof t + t.size();
    for (const slot_link& l : links) n += sizeof l + l.source.size();
    for (const midi_mapping& m : midi) n += sizeof m + m.module.size() + m.key.size();
    return n;
}

level_state capture_level(const GENERATOR& g, const panel_list& panels) {
    level_state out;
    const source_index sources(g);
    const auto panel_of = panels_by_module(panels);
    const std::vector<midi_mapping> mappings = g.midi.list();
    for (int k = 0; k < module_kind_count; ++k) {
        const module_kind kind = static_cast<module_kind>(k);
        const module_type& t = type_of(kind);
        for (std::size_t i = 0; i < g.count(kind); ++i) {
            OUTPUT& m = *g.at(kind, i);
            module_state s;
            s.kind = kind;
            s.name = m.name;
            s.index = i;
            each_value(t, [&](const param_desc& d, int j) { s.values.push_back(d.get(m, j)); });
            each_text(t, [&](const param_desc& d) {
                const char* text = d.text(m);
                s.texts.push_back(text ? text : "");
            });
            each_link(sources, m, t, [&](const slot_desc& slot, int channel, slot_link l) {
                if (slot.kind == slot_kind::channel && channel == 0)
                    s.channels.push_back(counted_channels(slot, m));
                s.links.push_back(std::move(l));
            });
            if (const auto found = panel_of.find(&m); found != panel_of.end()) {
                const MODULE_GUI* p = found->second;
                s.x = static_cast<int>(p->x), s.y = static_cast<int>(p->y);
                s.mode = p->display_mode;
                s.back = p->display_mode == OBJET::back;
            }
            for (const midi_mapping& mm : mappings)
                if (mm.module == s.name) s.midi.push_back(mm);
            out.push_back(std::move(s));
        }
    }
    return out;
}

edit compare(const level_state& before, const level_state& after) {
    edit e;
    // By type and name (the first of twins, as a walk would find it).
    auto index_of = [](const level_state& in) {
        std::unordered_map<std::string, const module_state*> by_name;
        for (const module_state& s : in)
            by_name.emplace(std::to_string(static_cast<int>(s.kind)) + ' ' + s.name, &s);
        return by_name;
    };
    const auto before_index = index_of(before), after_index = index_of(after);
    auto find = [](const auto& index, const module_state& m) -> const module_state* {
        const auto found = index.find(std::to_string(static_cast<int>(m.kind)) + ' ' + m.name);
        return found == index.end() ? nullptr : found->second;
    };
    for (const module_state& a : after) {
        const module_state* b = find(before_index, a);
        if (!b)
            e.changes.push_back({std::nullopt, a});
        else if (!(*b == a))
            e.changes.push_back({*b, a});
    }
    for (const module_state& b : before)
        if (!find(after_index, b)) e.changes.push_back({b, std::nullopt});
    for (const module_change& c : e.changes)
        e.bytes += (c.before ? c.before->bytes() : 0) + (c.after ? c.after->bytes() : 0);
    if (!e.changes.empty()) e.what = describe(e);
    return e;
}

namespace {

OUTPUT* module_named(const GENERATOR& g, const module_state& s) {
    return g.find(s.kind, s.name);
}

void bring_to(const module_state& to, GENERATOR& g, const source_index& sources,
              panel_list& panels) {
    OUTPUT* m = module_named(g, to);
    if (!m) return;
    const module_type& t = type_of(to.kind);
    // Files first: a partition read again is then set to the steps kept.
    std::size_t text_at = 0;
    bool nested_read = false;
    each_text(t, [&](const param_desc& d) {
        if (text_at >= to.texts.size()) return;
        const std::string& value = to.texts[text_at++];
        const char* now = d.text(*m);
        if (value.empty() || value == (now ? now : "")) return;
        const std::string field = std::string(d.key) + "=" + value;
        reload loader;
        field_text f{field, std::string_view(field).substr(0, std::strlen(d.key)),
                     std::string_view(field).substr(std::strlen(d.key) + 1), &loader};
        d.apply(*m, f);
        nested_read = nested_read || to.kind == module_kind::GENERATOR;
    });
    std::size_t at = 0;
    each_value(t, [&](const param_desc& d, int i) {
        if (at < to.values.size() && d.get(*m, i) != to.values[at]) set_param(*m, d, i, to.values[at]);
        ++at;
    });
    // Channels counted before the ones the state feeds are counted first.
    std::size_t channel_slot = 0;
    for (const slot_desc& s : t.slots)
        if (s.kind == slot_kind::channel && channel_slot < to.channels.size()) {
            const int wanted = to.channels[channel_slot++];
            while (s.channel_count(*m) < wanted)
                if (!connect(*m, s, {}, -1)) break;
        }
    std::vector<std::pair<const slot_desc*, int>> places;
    std::vector<slot_link> now;
    each_link(sources, *m, t, [&](const slot_desc& s, int c, slot_link l) {
        places.push_back({&s, c});
        now.push_back(std::move(l));
    });
    for (std::size_t i = 0; i < places.size() && i < to.links.size(); ++i) {
        if (now[i] == to.links[i]) continue;
        const auto [slot, channel] = places[i];
        if (to.links[i].source.empty()) {
            disconnect(*m, *slot, channel);
            continue;
        }
        OUTPUT* source = g.find_any(to.links[i].source);
        if (source) connect(*m, *slot, {source, g.type_of_module(source)}, channel);
    }
    g.midi.set_for(to.name, to.midi);
    for (panel_ptr& p : panels)
        if (auto* gui = dynamic_cast<MODULE_GUI*>(p.get()); gui && gui->module == m) {
            if (gui->x != to.x || gui->y != to.y)
                gui->set_position(static_cast<float>(to.x), static_cast<float>(to.y), gui->z);
            if (!to.back && gui->display_mode != to.mode && gui->display_mode != OBJET::back)
                gui->set_display_mode(to.mode);
            if (auto* nested = dynamic_cast<GENERATOR_GUI*>(gui); nested && nested_read) {
                nested->panels.clear();
                build_panels(nested->panels, nested->generator());
            }
        }
}

} // namespace

void apply(const edit& e, bool to_after, GENERATOR& g, panel_list& panels) {
    auto from = [&](const module_change& c) { return to_after ? c.before : c.after; };
    auto to = [&](const module_change& c) { return to_after ? c.after : c.before; };
    // Modules made again first, so connections to them can be restored.
    for (const module_change& c : e.changes) {
        if (from(c) || !to(c)) continue;
        OUTPUT* m = add_module(g, to(c)->kind, to(c)->name, to(c)->index);
        if (!m) continue;
        const int number = static_cast<int>(g.count(to(c)->kind)) - 1;
        panels.insert(panels.begin(), make_module_panel(to(c)->kind, *m, number % 100));
    }
    // The lists stay as they are until the removals below.
    const source_index sources(g);
    for (const module_change& c : e.changes)
        if (to(c)) bring_to(*to(c), g, sources, panels);
    // Modules removed last: their panels first, then the module (the seam
    // frees it once no tick can reach it).
    for (const module_change& c : e.changes) {
        if (!from(c) || to(c)) continue;
        OUTPUT* m = module_named(g, *from(c));
        if (!m) continue;
        panels.erase(std::remove_if(panels.begin(), panels.end(),
                                    [m](const panel_ptr& p) {
                                        auto* gui = dynamic_cast<const MODULE_GUI*>(p.get());
                                        return gui && gui->module == m;
                                    }),
                     panels.end());
        remove_module(g, m);
    }
}

void history::clear() {
    edits_.clear();
    position_ = saved_ = 0;
    bytes_ = 0;
}

void history::push(edit e) {
    while (static_cast<long long>(edits_.size()) > position_) {
        bytes_ -= edits_.back().bytes;
        edits_.pop_back();
    }
    if (saved_ > position_) saved_ = -1; // the saved state was on the branch dropped
    bytes_ += e.bytes;
    edits_.push_back(std::move(e));
    ++position_;
    while (edits_.size() > 1 && (edits_.size() > most_edits || bytes_ > most_bytes)) {
        bytes_ -= edits_.front().bytes;
        edits_.pop_front();
        --position_;
        if (saved_ >= 0) --saved_;
    }
}

const edit* history::undo() {
    if (position_ == 0) return nullptr;
    return &edits_[static_cast<std::size_t>(--position_)];
}

const edit* history::redo() {
    if (position_ >= static_cast<long long>(edits_.size())) return nullptr;
    return &edits_[static_cast<std::size_t>(position_++)];
}

} // namespace tmod
