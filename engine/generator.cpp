#include "engine/generator.hpp"

#include <algorithm>

#include "engine/engine_state.hpp"
#include "engine/module_tick.hpp"
#include "engine/param_edits.hpp"
#include "engine/ports.hpp"
#include "util/text.hpp"
#include "util/text_format.hpp"

namespace tmod {

GENERATOR::GENERATOR() : OUTPUT(name_storage) {}

GENERATOR::~GENERATOR() {
    clear();
}

int GENERATOR::compute() {
    const bool lanes = lanes_enabled();
    for (module_kind k : compute_order) {
        const int i = index_of(k);
        const std::vector<module_ptr>& list = lists_[i];
        if (list.empty()) continue;
        const module_type& type = type_of(k);
        if (type.lanes) {
            if (lanes) {
                type.lanes->tick(list.data(), list.size(), lanes_[i]);
                continue;
            }
            settle_lanes(i);
        }
        type.tick(list.data(), list.size());
    }
    const std::vector<module_ptr>& outputs = lists_[index_of(module_kind::SOUND_OUTPUT)];
    value = outputs.empty() ? 0.0f : outputs.front()->value.load();

    // The copy comes after the tick, so it takes effect from the next one.
    const std::vector<module_ptr>& inputs = lists_[index_of(module_kind::SOUND_INPUT)];
    if (!inputs.empty()) {
        auto* port = static_cast<SOUND_INPUT*>(inputs.front().get());
        port->in.connect(in.source());
        port->gate_in.connect(gate_in.source());
        port->sync_in.connect(sync_in.source());
    }
    return 1;
}

void GENERATOR::clear() {
    patch_rebuild rebuild;
    // Queued parameter changes may name these modules: applied before they go.
    apply_pending_edits();
    for (int k = 0; k < module_kind_count; ++k) {
        settle_lanes(k);
        for (module_ptr& m : lists_[k]) m.reset();
        lists_[k].clear();
        size_lanes(k);
    }
}

void GENERATOR::settle_lanes(int k) {
    const lane_kernel* kernel = type_of(k).lanes;
    if (kernel && lanes_[k].block_count) kernel->write_back(lanes_[k]);
}

void GENERATOR::size_lanes(int k) {
    if (const lane_kernel* kernel = type_of(k).lanes)
        lanes_[k].resize(lists_[k].size(), kernel->block_bytes, kernel->width, kernel->spare_bytes);
}

OUTPUT* GENERATOR::add_module(module_ptr m, std::size_t at) {
    patch_edit edit(patch_mutex());
    const int k = index_of(m.get_deleter().kind);
    settle_lanes(k);
    std::vector<module_ptr>& list = lists_[k];
    const auto place = list.begin() + static_cast<std::ptrdiff_t>(std::min(at, list.size()));
    OUTPUT* added = list.insert(place, std::move(m))->get();
    size_lanes(k);
    return added;
}

module_ptr GENERATOR::take_module(const OUTPUT* m) {
    for (int k = 0; k < module_kind_count; ++k) {
        std::vector<module_ptr>& list = lists_[k];
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->get() == m) {
                settle_lanes(k);
                module_ptr taken = std::move(*it);
                list.erase(it);
                size_lanes(k);
                return taken;
            }
    }
    return module_ptr(nullptr, module_deleter{module_kind::AFFICHAGE});
}

const module_type* GENERATOR::type_of_module(const OUTPUT* m) const {
    for (const std::vector<module_ptr>& list : lists_)
        for (const module_ptr& p : list)
            if (p.get() == m) return &type_of(p.get_deleter().kind);
    return nullptr;
}

void GENERATOR::insert_front_reversed(std::vector<module_ptr>& modules) {
    // One pass per list rather than an insertion at the front per module,
    // which grows with the square of a long file.
    std::vector<module_ptr> front[module_kind_count];
    for (auto m = modules.rbegin(); m != modules.rend(); ++m)
        front[index_of(m->get_deleter().kind)].push_back(std::move(*m));
    modules.clear();
    for (int k = 0; k < module_kind_count; ++k) {
        if (front[k].empty()) continue;
        settle_lanes(k);
        for (module_ptr& m : lists_[k]) front[k].push_back(std::move(m));
        lists_[k].swap(front[k]);
        size_lanes(k);
    }
}

void GENERATOR::replace_modules(GENERATOR& from) {
    patch_rebuild rebuild;
    clear();
    for (int k = 0; k < module_kind_count; ++k) {
        from.settle_lanes(k);
        lists_[k].swap(from.lists_[k]);
        size_lanes(k);
        from.size_lanes(k);
    }
    if (from.file_name[0]) copy_text(file_name, from.file_name);
    midi.assign(from.midi.list());
}

std::size_t GENERATOR::total_count() const {
    std::size_t n = 0;
    for (const auto& list : lists_) n += list.size();
    return n;
}

OUTPUT* GENERATOR::find(module_kind kind, std::string_view name) const {
    for (const module_ptr& m : lists_[index_of(kind)])
        if (name == m->name) return m.get();
    return nullptr;
}

OUTPUT* GENERATOR::find_any(std::string_view name) const {
    const module_type* type = type_for_find_name(name);
    return type ? find(type->kind, name) : nullptr;
}

source_index::source_index(const GENERATOR& g) {
    for (const auto& list : g.lists_)
        for (const module_ptr& m : list) {
            const module_type& t = type_of(m.get_deleter().kind);
            // The first module in list order wins.
            if (t.signal_out) signal_.emplace(t.signal_out(*m), m.get());
            if (t.gate_out) gate_.emplace(t.gate_out(*m), m.get());
            if (t.sync_out) sync_.emplace(t.sync_out(*m), m.get());
        }
}

OUTPUT* source_index::find(const index& in, const void* field) {
    if (!field) return nullptr;
    const auto found = in.find(field);
    return found == in.end() ? nullptr : found->second;
}

template void tick_list<GENERATOR>(const module_ptr*, std::size_t);

} // namespace tmod
