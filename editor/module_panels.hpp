// The panels of the editor's patch levels: the base of every module panel
// and the nested patch's panel, which holds its level's panels. The editor's
// row of each type (module_rows.hpp) says how a panel is built. Panels change their module only through the editing seam
// (engine/patch_ops) and the parameter descriptions, never by writing module
// fields. Main (graphics) thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
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

// The parameter a control of the panel is bound to (by its control word,
// a knob's "SLD_" left off), or null.
const param_desc* control_param(const MODULE_GUI& panel, const SPRITE* widget);

// A name a panel asks the user for (a partition to load or save): the
// question, the field's first text, and what takes the answer; `accept`
// returns an empty string when it took the answer, else why not (the
// question stays open with it).
struct name_request {
    std::string question;
    std::string text;
    std::function<std::string(const std::string&)> accept;
};
// Where panels ask: the editor opens a prompt in its window while it runs.
// Unset, nothing is asked.
extern std::function<void(name_request)> ask_user;

// A nested patch: its panel in the enclosing level, and the panels of its own
// level. The root level of the editor is a GENERATOR_GUI too. Its item name
// is the nested module's name (the panel name for the top level).
class GENERATOR_GUI : public MODULE_GUI {
  public:
    GENERATOR_GUI(GENERATOR& generator, int x, int y, const char* panel_name);
    GENERATOR& generator() const;
    panel_list panels;
};

} // namespace tmod
