// The panels of the editor's patch levels: one panel per module, built from the
// module's type. Panels change their module only through the editing seam
// (engine/patch_ops) and the parameter descriptions, never by writing module
// fields. Main (graphics) thread only.
#pragma once

#include <memory>
#include <vector>

#include "engine/module_types.hpp"
#include "toolkit/panel.hpp"

namespace tmod {

class GENERATOR;

// A panel of a level: a module panel or a dashboard. Index 0 is the top-most.
using panel_ptr = std::unique_ptr<OBJET>;
using panel_list = std::vector<panel_ptr>;

// Base of every module panel: the module it shows and the module's type.
class MODULE_GUI : public OBJET {
  public:
    MODULE_GUI(module_kind kind, OUTPUT& module, int x, int y, const char* panel_name);
    const module_kind kind;
    OUTPUT* const module; // never deleted by the panel
};

// A nested patch: its panel in the enclosing level, and the panels of its own
// level. The root level of the editor is a GENERATOR_GUI too. Its item name
// is the nested module's name (the panel name for the top level).
class GENERATOR_GUI : public MODULE_GUI {
  public:
    GENERATOR_GUI(GENERATOR& generator, int x, int y, const char* panel_name);
    GENERATOR& generator() const;
    panel_list panels;
};

// The panel of a module at (0, 0), named from the type's pattern and `number`
// (a decimal number below 100: widget names carry it as their prefix).
panel_ptr make_module_panel(module_kind kind, OUTPUT& module, int number);

// Whether the panel shows engine state that moves by itself (step lamps,
// value displays): the editor redraws often only while such a panel is in view.
bool shows_moving_state(const OBJET& panel);

// The display mode a panel takes back when edit mode ends: 2 (the small form)
// for the sequencer and the sampler, 1 for the others.
int play_display_mode(const OBJET& panel);

} // namespace tmod
