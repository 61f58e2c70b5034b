// What the editor knows about a module type, as one row: the panel class and
// its layouts, its column, the display mode after edit mode, the plug rules
// of cables, and the controls whose behaviour the parameter descriptions do
// not carry. The rows themselves are in module_rows.cpp.
#pragma once

#include "editor/module_panels.hpp"

namespace tmod {

struct editor_row;

struct panel_layouts {
    const char* back;
    const char* controls;
};

// Builds the panel of a row's type at (0, 0).
using panel_factory = panel_ptr (*)(const editor_row& row, OUTPUT& module, const char* panel_name);

// A clickable display that cycles an enumeration: the parameter is the one
// bound to `param_control`, its pictures start at the parameter's minimum,
// and `label` shows the value's name.
struct cycle_display {
    const char* element;
    const char* param_control;
    table_view<const char*> pictures;
    const char* label;
};

// A button that adds a fixed amount (through the step rule when it is fixed).
struct step_button {
    const char* element;
    const char* key;
    int direction;
};

// A label and slider angle that do not follow "LABEL_<control>" and the value.
struct control_view {
    const char* control;
    const char* label;
    // Degrees a unit of value turns the knob; 0: the knob shows where the
    // value sits in its range.
    double angle_scale = 0.0;
};

// A display of a value the engine moves: the module's output in a label, and
// a lamp lit while it is above 0.
struct live_view {
    const char* label;
    const char* lamp;
};

// A digit picture showing a parameter.
struct digit_view {
    const char* element;
    const char* key;
    const char* image_format;
};

// Gate and sync connections by cable: which the type's inputs take (never
// more than its slots have), whether an input end leaving a plug clears the
// old connection, what the type offers as a source when a cable end is
// dropped on it, and whether its sync plug has no pulse the others can
// follow (the cable is refused with a warning).
struct plug_rules {
    bool takes_gate, takes_sync;
    bool clears_gate, clears_sync;
    bool offers_to_inputs, offers_to_outputs;
    bool sync_source_warns;
};

struct editor_row {
    module_kind kind;
    const char* name_pattern; // panel name, "%s" the panel's number
    panel_layouts layouts;
    panel_factory make;
    int play_mode;         // display mode taken back when edit mode ends
    bool moving;           // shows engine state that moves on its own
    const char* info_word; // type word of the information panel (null: the class name)
    const char* count_line; // printed after building a type's panels (null: none)
    int column_width;       // how far the next type's column moves right (0: shares it)
    plug_rules plugs;
    table_view<cycle_display> displays;
    table_view<step_button> step_buttons;
    table_view<control_view> control_views;
    table_view<live_view> live_views;
    table_view<digit_view> digit_views;
    const char* small_layout = nullptr; // the small form's layout (key 5); null: none
};

} // namespace tmod
