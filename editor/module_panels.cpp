#include "editor/module_panels.hpp"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "engine/generator.hpp"

namespace tmod {

std::function<void(name_request)> ask_user;

MODULE_GUI::MODULE_GUI(module_kind k, OUTPUT& m, int x, int y, const char* panel_name)
    : OBJET(x, y, panel_name), kind(k), module(&m) {}

const param_desc* control_param(const MODULE_GUI& panel, const SPRITE* widget) {
    if (!widget) return nullptr;
    const char* control = strip_panel_prefix(widget->name);
    const char* word = std::strncmp(control, "SLD_", 4) == 0 ? control + 4 : control;
    return *word ? find_control(type_of(panel.kind), word) : nullptr;
}

GENERATOR_GUI::GENERATOR_GUI(GENERATOR& g, int x, int y, const char* panel_name)
    : MODULE_GUI(module_kind::GENERATOR, g, x, y, panel_name) {
    // The level's name where the editor shows which level it is in: the
    // nested module's name (the top level has none: its panel name).
    set_name(g.name[0] ? g.name : panel_name);
}

GENERATOR& GENERATOR_GUI::generator() const {
    return static_cast<GENERATOR&>(*module);
}

} // namespace tmod
