// Everything the editor knows about a module type, in one row per type: the
// panel class and its layouts, the column panels are built in, the display
// mode after edit mode, which plugs take and offer gates and sync pulses, and
// the controls whose behaviour the parameter descriptions do not carry. What
// the engine's registry already says (slots, parameters, outputs) is read
// from it, never repeated here. A new module type adds one row.
#pragma once

#include "editor/editor_row.hpp"

namespace tmod {

const editor_row& row_of(module_kind kind);

// The order in which types get their columns, left to right.
extern const module_kind column_order[module_kind_count];

// The panel of a module at (0, 0), named from the type's pattern and `number`
// (a decimal number below 100: widget names carry it as their prefix).
panel_ptr make_module_panel(module_kind kind, OUTPUT& module, int number);

// Whether the panel shows engine state that moves by itself (step lamps,
// value displays): the editor redraws often only while such a panel is in view.
bool shows_moving_state(const OBJET& panel);

// Whether the panel has a small form for key 5 to switch to.
bool has_small_form(const OBJET& panel);

// The display mode a panel takes back when edit mode ends: 2 (the small form)
// for the sequencer and the sampler, 1 for the others.
int play_display_mode(const OBJET& panel);

} // namespace tmod
