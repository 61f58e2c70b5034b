// The edit history of the shown patch. The editor compares the state of the
// level shown (every module's parameters, connections and panel) after each
// gesture with the state before it: what changed is one edit, kept as the
// states of the modules it changed, before and after. Undo and redo bring
// the modules back to one or the other through the editing seam, so the
// sound never skips. A knob drag, a run of wheel steps, a click, a cable, a
// module made or removed, a panel moved: each is an edit. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "editor/module_panels.hpp"
#include "engine/midi_map.hpp"

namespace tmod {

class GENERATOR;

// What feeds one slot (or channel): the source module's name and which of
// its outputs; an empty name when nothing does.
struct slot_link {
    std::string source;
    slot_kind output = slot_kind::signal;
    bool operator==(const slot_link& o) const {
        return source == o.source && (source.empty() || output == o.output);
    }
};

struct module_state {
    module_kind kind = module_kind::VCO;
    std::string name;
    std::size_t index = 0;        // its place in its type's list
    std::vector<double> values;   // the user's parameters, every index, in table order
    std::vector<std::string> texts; // its file names (a partition, a sample, a nested patch)
    std::vector<slot_link> links; // every slot; channel slots: every counted channel
    std::vector<int> channels;    // counted channels of each channel slot
    int x = 0, y = 0, mode = 1;   // its panel
    bool back = false;            // its panel shows its back (edit mode): the form is no edit
    std::vector<midi_mapping> midi; // the level's MIDI mappings of its controls
    bool operator==(const module_state& o) const;
    std::size_t bytes() const;
};

// The modules of a level, in list order.
using level_state = std::vector<module_state>;

// The level's state now: its modules and their panels among `panels`.
level_state capture_level(const GENERATOR& g, const panel_list& panels);

// A level by the names of the nested modules that lead to it from the root.
using level_path = std::vector<std::string>;

struct module_change {
    std::optional<module_state> before, after;
};

struct edit {
    level_path level;
    std::vector<module_change> changes;
    std::string what; // "VCF_1 HICUT 2400 -> 1150"
    std::size_t bytes = 0;
};

// What changed between two states of a level (empty: nothing), and its words.
edit compare(const level_state& before, const level_state& after);

// Brings the level's modules and panels to one side of the edit: `after`
// for redo, `before` for undo. Modules are found by name; panels of modules
// made again are built here. Through the editing seam only.
void apply(const edit& e, bool to_after, GENERATOR& g, panel_list& panels);

class history {
  public:
    // At least this many edits are kept, and no more than this much memory.
    static constexpr std::size_t most_edits = 2000;
    static constexpr std::size_t most_bytes = 64u << 20;

    // A new patch: no edits, its state saved.
    void clear();
    // A new edit after the position; the redo branch goes.
    void push(edit e);
    // The edit to undo (the position moves back), or null.
    const edit* undo();
    // The edit to redo (the position moves on), or null.
    const edit* redo();
    // The patch is as it was last saved (or loaded).
    bool at_saved() const { return position_ == saved_; }
    void mark_saved() { saved_ = position_; }
    // No position is the saved state (a patch restored from a recovery set).
    void mark_unsaved() { saved_ = -1; }
    std::size_t size() const { return edits_.size(); }

  private:
    std::deque<edit> edits_;
    long long position_ = 0; // edits before it are done
    // Where the saved state is; -1 when no position reaches it any more.
    long long saved_ = 0;
    std::size_t bytes_ = 0;
};

} // namespace tmod
