// GENERATOR: the patch container, itself a module. It owns one ordered list of
// modules per type, ticks them once per sample in a fixed order of types, and
// publishes the value of its first SOUND_OUTPUT. A nested GENERATOR sees what
// the outer patch connects to its IN, GATE and SYNC through its SOUND_INPUT.
#pragma once

#include <unordered_map>

#include <cstdint>

#include <string>
#include <string_view>
#include <vector>

#include "engine/lanes.hpp"
#include "engine/midi_map.hpp"
#include "engine/module_types.hpp"
#include "engine/signal.hpp"

namespace tmod {

class GENERATOR final : public OUTPUT, public INPUT, public INPUT_GATE, public INPUT_SYNC {
  public:
    char file_name[800] = {}; // the patch file it was loaded from; empty when none

    GENERATOR();
    ~GENERATOR();

    // One tick of the whole patch (audio thread).
    int compute() override;

    // Destroys every module, list by list (holds rendering off meanwhile).
    void clear();

    // The editor appends, or puts back at `at` of its list (under the patch
    // lock, so a tick in progress is not disturbed); takes ownership.
    OUTPUT* add_module(module_ptr m, std::size_t at = SIZE_MAX);
    // Takes a module out of its list and hands it back (null when it is not
    // here). The caller holds the patch lock and frees it after releasing it.
    module_ptr take_module(const OUTPUT* m);
    // The reader's modules of one file, in file order (emptied): they go in
    // front of their lists, the last record first. The reader fills only
    // containers no other thread sees yet, so this takes no lock.
    void insert_front_reversed(std::vector<module_ptr>& modules);

    // Destroys this container's modules and takes those of `from` (left empty)
    // in one step under the patch lock, with its file name when it has one,
    // and its MIDI mappings.
    void replace_modules(GENERATOR& from);

    std::size_t count(module_kind kind) const { return lists_[index_of(kind)].size(); }
    OUTPUT* at(module_kind kind, std::size_t i) const { return lists_[index_of(kind)][i].get(); }
    std::size_t total_count() const;
    // How many modules of the list the last tick computed in lanes.
    std::size_t laned_count(module_kind kind) const {
        return lanes_[index_of(kind)].laned_count;
    }
    // The type of a module of this container, or null when it is not here.
    const module_type* type_of_module(const OUTPUT* m) const;

    // The first module of the type whose name is exactly `name`, or null.
    OUTPUT* find(module_kind kind, std::string_view name) const;
    // Finds a module by name, the list chosen by the word its name contains.
    OUTPUT* find_any(std::string_view name) const;

  private:
    friend class source_index;
    std::vector<module_ptr> lists_[module_kind_count];
    lane_store lanes_[module_kind_count];

    // The lanes of list k give their state back to the modules (before a
    // module leaves the list) and are sized for the list (after it changed).
    void settle_lanes(int k);
    void size_lanes(int k);

  public:
    // The MIDI mappings of this level (its file's mappings section).
    midi_map midi;
    // Last, away from the fields read every sample.
    module_name name_storage = {};
};

// How deep patches nest: a load leaves deeper containers empty.
constexpr int max_nesting = 32;

// Calls f(level) for the container, then for every container nested in it,
// each before the ones inside it.
template <class F>
void for_each_level(GENERATOR& g, F&& f, int depth = 0) {
    f(g);
    if (depth >= max_nesting) return;
    for (std::size_t i = 0; i < g.count(module_kind::GENERATOR); ++i)
        for_each_level(*static_cast<GENERATOR*>(g.at(module_kind::GENERATOR, i)), f, depth + 1);
}

// The module a slot's referenced field belongs to (a SOUND_INPUT's inner
// sources count as that SOUND_INPUT), or null: every output of the
// container's modules mapped to its module once. Valid while the
// container's lists do not change.
class source_index {
  public:
    explicit source_index(const GENERATOR& g);
    OUTPUT* source_of_signal(const sample_value* field) const { return find(signal_, field); }
    OUTPUT* source_of_gate(const flag_value* field) const { return find(gate_, field); }
    OUTPUT* source_of_sync(const flag_value* field) const { return find(sync_, field); }

  private:
    using index = std::unordered_map<const void*, OUTPUT*>;
    static OUTPUT* find(const index& in, const void* field);
    index signal_, gate_, sync_;
};

} // namespace tmod
