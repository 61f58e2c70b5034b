// The patch levels the editor shows: the root patch, and the nested patches
// (GENERATOR modules) entered from it, each with its panels. Main thread only.
#pragma once

#include <functional>
#include <unordered_map>

#include <memory>
#include <string>
#include <vector>

#include "editor/module_panels.hpp"

namespace tmod {

class GENERATOR;

class levels {
  public:
    explicit levels(GENERATOR& root) : root_(root) {}

    // A root level with no panels yet, shown.
    void reset();
    // Every panel goes (before the modules they show do).
    void clear();

    GENERATOR& root() const { return root_; }
    // The level shown: its patch and its panels (the root's before reset()).
    GENERATOR& generator() const;
    GENERATOR_GUI* gui() const { return shown_; }
    panel_list& panels() const;
    panel_list& root_panels() const { return root_gui_->panels; }
    bool has_panels() const { return shown_ != nullptr; }
    // 0 at the root.
    int depth() const { return static_cast<int>(parents_.size()); }

    // The patches from the root to the level shown.
    std::vector<const GENERATOR*> chain() const;
    // The names of the nested modules that lead from the root to the level shown.
    std::vector<std::string> path() const;

    // Shows the nested patch of `panel`, a panel of the level shown.
    void enter(GENERATOR_GUI& panel);
    // Back to the enclosing level. False at the root.
    bool leave();

  private:
    GENERATOR& root_;
    std::unique_ptr<GENERATOR_GUI> root_gui_;
    GENERATOR_GUI* shown_ = nullptr;
    std::vector<GENERATOR_GUI*> parents_;
};

// One panel per module of `g`, nested levels built too, appended in front of
// what `panels` holds: where the patch file's positions section puts them
// when it has one record per module, else in columns by type below the
// dashboards. `going` is asked after each panel (a long load keeps the
// window answering through it): false stops the building there, and
// build_panels returns false with the panels made so far.
bool build_panels(panel_list& panels, GENERATOR& g, const std::function<bool()>& going = {});

// The module panels of a list by their modules.
std::unordered_map<const OUTPUT*, const MODULE_GUI*> panels_by_module(const panel_list& panels);

} // namespace tmod
