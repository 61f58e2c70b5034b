// The constructors of the module panels, one per panel class; the editor's
// row of each type names one.
#pragma once

#include "editor/editor_row.hpp"

namespace tmod {

panel_ptr make_param_panel(const editor_row&, OUTPUT&, const char*);
panel_ptr make_mixer_panel(const editor_row&, OUTPUT&, const char*);
panel_ptr make_sequencer_panel(const editor_row&, OUTPUT&, const char*);
panel_ptr make_sampler_panel(const editor_row&, OUTPUT&, const char*);
panel_ptr make_generator_panel(const editor_row&, OUTPUT&, const char*);

} // namespace tmod
