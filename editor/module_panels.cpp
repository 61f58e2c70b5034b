#include "editor/module_panels.hpp"

#include <cstdio>
#include <iterator>
#include <string>

#include "editor/panels/panel_factories.hpp"
#include "editor/panels/param_panel.hpp"
#include "engine/generator.hpp"

namespace tmod {

namespace {

// One row per module type: the panel's name pattern, its two layouts, the
// class that builds it, the display mode it takes back after editing, and
// whether it shows engine state that moves on its own (step lamps, values),
// which the editor then redraws often while the panel is in view.
struct panel_row {
    module_kind kind;
    const char* name_pattern;
    panel_layouts layouts;
    panel_factory make;
    int play_mode;
    bool moving = false;
};

constexpr panel_row panel_rows[] = {
    {module_kind::AFFICHAGE,
     "VAL_%s",
     {"RC/BACK_AFFICHAGE.RC", "RC/AFFICHAGE.RC"},
     make_param_panel,
     1,
     true},
    {module_kind::BASIC_OPERATION,
     "OPERATION_%s",
     {"RC/BACK_OPERATION.RC", "RC/OPERATION.RC"},
     make_param_panel,
     1},
    {module_kind::CONSTANTE,
     "CONSTANTE_%s",
     {"RC/BACK_CONSTANTE.RC", "RC/CONSTANTE.RC"},
     make_param_panel,
     1},
    {module_kind::FAKE303,
     "FAKE303_%s",
     {"RC/BACK_FAKE303.RC", "RC/FAKE303.RC"},
     make_param_panel,
     1},
    {module_kind::GENERATOR,
     "GENERATOR_%s",
     {"RC/BACK_GENERATOR.RC", "RC/GENERATOR.RC"},
     make_generator_panel,
     1},
    {module_kind::KEYBOARD,
     "KEY_%s",
     {"RC/BACK_KEYBOARD.RC", "RC/KEYBOARD.RC"},
     make_param_panel,
     1},
    {module_kind::MIXER, "MIXER_%s", {"RC/BACK_MIXER.RC", "RC/MIXER.RC"}, make_mixer_panel, 1},
    {module_kind::MICRO, "KEY_%s", {"RC/BACK_KEYBOARD.RC", "RC/KEYBOARD.RC"}, make_param_panel, 1},
    {module_kind::PHASER,
     "VCF_%s",
     {"RC/BACK_FORMANT_VCF.RC", "RC/PHASER.RC"},
     make_param_panel,
     1},
    {module_kind::SEQUENCER,
     "SEQUEN_%s",
     {"RC/BACK_SEQUENCEUR.RC", "RC/SEQUENCEUR.RC"},
     make_sequencer_panel,
     2,
     true},
    {module_kind::SAMPLER,
     "SAMPLER_%s",
     {"RC/BACK_SAMPLER.RC", "RC/SAMPLER.RC"},
     make_sampler_panel,
     2},
    {module_kind::SFX_DELAY,
     "SFX_DELAY_%s",
     {"RC/BACK_SFX_DELAY.RC", "RC/SFX_DELAY.RC"},
     make_param_panel,
     1},
    {module_kind::SOUND_INPUT,
     "VARIABLE_%s",
     {"RC/BACK_SOUND_INPUT.RC", "RC/SOUND_INPUT.RC"},
     make_param_panel,
     1},
    {module_kind::SOUND_OUTPUT,
     "VARIABLE_%s",
     {"RC/BACK_SOUND_OUTPUT.RC", "RC/SOUND_OUTPUT.RC"},
     make_param_panel,
     1},
    {module_kind::VARIABLE,
     "VARIABLE_%s",
     {"RC/BACK_VARIABLE.RC", "RC/VARIABLE.RC"},
     make_param_panel,
     1,
     true},
    {module_kind::VCA, "VCA_%s", {"RC/BACK_VCA.RC", "RC/VCA.RC"}, make_param_panel, 1},
    {module_kind::FORMANT_VCF,
     "VCF_%s",
     {"RC/BACK_FORMANT_VCF.RC", "RC/FORMANT_VCF.RC"},
     make_param_panel,
     1},
    {module_kind::VCF303, "VCF_%s", {"RC/BACK_VCF_303.RC", "RC/VCF_303.RC"}, make_param_panel, 1},
    {module_kind::VCF, "VCF_%s", {"RC/BACK_VCF.RC", "RC/VCF.RC"}, make_param_panel, 1},
    {module_kind::MULTI_VCO,
     "MULTI_VCO_%s",
     {"RC/BACK_VCO.RC", "RC/MULTI_VCO.RC"},
     make_param_panel,
     1},
    {module_kind::VCO, "VCO_%s", {"RC/BACK_VCO.RC", "RC/VCO.RC"}, make_param_panel, 1},
};
static_assert(std::size(panel_rows) == module_kind_count, "one panel row per module type");
constexpr bool rows_in_list_order() {
    for (std::size_t i = 0; i < std::size(panel_rows); ++i)
        if (static_cast<std::size_t>(panel_rows[i].kind) != i) return false;
    return true;
}
static_assert(rows_in_list_order(), "panel rows are indexed by module_kind");

const panel_row& row_of(module_kind kind) {
    return panel_rows[index_of(kind)];
}

} // namespace

MODULE_GUI::MODULE_GUI(module_kind k, OUTPUT& m, int x, int y, const char* panel_name)
    : OBJET(x, y, panel_name), kind(k), module(&m) {}

GENERATOR_GUI::GENERATOR_GUI(GENERATOR& g, int x, int y, const char* panel_name)
    : MODULE_GUI(module_kind::GENERATOR, g, x, y, panel_name) {
    // The level's name where the editor shows which level it is in: the
    // nested module's name (the top level has none: its panel name).
    set_name(g.name[0] ? g.name : panel_name);
}

GENERATOR& GENERATOR_GUI::generator() const {
    return static_cast<GENERATOR&>(*module);
}

panel_ptr make_module_panel(module_kind kind, OUTPUT& module, int number) {
    const panel_row& row = row_of(kind);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", number);
    char name[OBJET::text_size];
    std::snprintf(name, sizeof name, row.name_pattern, digits);
    panel_ptr panel = row.make(kind, module, name, row.layouts);
    // Shows the module's values at once, before any message arrives.
    if (auto* shown = dynamic_cast<PARAM_GUI*>(panel.get())) shown->refresh();
    panel->update();
    return panel;
}

bool shows_moving_state(const OBJET& panel) {
    const auto* m = dynamic_cast<const MODULE_GUI*>(&panel);
    return m && row_of(m->kind).moving;
}

int play_display_mode(const OBJET& panel) {
    const auto* m = dynamic_cast<const MODULE_GUI*>(&panel);
    return m ? row_of(m->kind).play_mode : 1;
}

} // namespace tmod
