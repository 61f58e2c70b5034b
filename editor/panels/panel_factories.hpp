// The constructors of the module panels, one per panel class; the table of
// module_panels.cpp picks one by module type.
#pragma once

#include "editor/module_panels.hpp"

namespace tmod {

struct panel_layouts {
    const char* back;
    const char* controls;
};

using panel_factory = panel_ptr (*)(module_kind kind, OUTPUT& module, const char* panel_name,
                                    panel_layouts layouts);

panel_ptr make_param_panel(module_kind, OUTPUT&, const char*, panel_layouts);
panel_ptr make_mixer_panel(module_kind, OUTPUT&, const char*, panel_layouts);
panel_ptr make_sequencer_panel(module_kind, OUTPUT&, const char*, panel_layouts);
panel_ptr make_sampler_panel(module_kind, OUTPUT&, const char*, panel_layouts);
panel_ptr make_generator_panel(module_kind, OUTPUT&, const char*, panel_layouts);

} // namespace tmod
