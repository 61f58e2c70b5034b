// The editor's placement rules as plain functions: view scroll limits, the
// panel grid, the columns panels are built in, the palette's stacking, the
// load dialog's window and the file names typed in the window. No window needed.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "engine/module_types.hpp"

namespace tmod {

// The docked dashboards (information, palette, system) sit side by side in
// the top band of the view; panels are built and added below it, so no panel
// starts hidden under them.
constexpr int dashboard_band = 150;
constexpr int module_dash_x = 515;
constexpr int system_dash_x = 775;

constexpr int scroll_max_x = 2176;
constexpr int scroll_max_y = 2432;
int clamp_scroll_x(int x);
int clamp_scroll_y(int y);

// Panels dropped with the right button land on a 32-pixel grid (the remainder
// keeps the sign of the value, as a dropped panel left of 0 would).
int snap_to_grid(int v);

// Where each module's panel goes: the column of its type (in the editor rows'
// column order and widths), stacked downward by the panel's height from the
// dashboard band; a type that shares the column of the one before it (width
// 0) has the next type's panels start below its own. counts and heights are
// indexed by list order.
struct panel_spot {
    module_kind kind;
    std::size_t index;
    int x, y;
};
std::vector<panel_spot> column_layout(const std::size_t (&counts)[module_kind_count],
                                      const int (&heights)[module_kind_count]);

// A panel's place and size.
struct panel_box {
    int x, y, w, h;
};

// Where a palette-made panel of w x h goes in the view at (scroll_x,
// scroll_y) of view_w x view_h: the first place on a 32-pixel grid from the
// view's left edge below the dashboards, left to right then downward, that
// overlaps none of the panels taken, so a new module never hides one already
// there. When the view has no such place, the panel of index i (count - 1
// of its type) stacks down the view's left edge, 64 pixels apart.
panel_box palette_spot(const std::vector<panel_box>& taken, int w, int h, int scroll_x,
                       int scroll_y, int view_w, int view_h, int index);

// A saved panel's place kept inside the world a view of view_w x view_h
// scrolls over, and below the dashboards' band.
panel_box clamp_into_world(panel_box b, int view_w, int view_h);

// The load dialog shows this many names at a time.
constexpr int dialog_rows = 10;
// The first shown index after one pass of scrolling (direction +1 down, -1 up).
int dialog_scroll(int first, int direction, int names);

// The file name a name typed for a save or a load stands for: one word of
// letters (non-ASCII ones too), digits, "_", "-" and ".", inside its folder,
// with `extension` (".tsy", ".PAR") added when it has none. Empty, with the
// reason in `why`, when the name cannot be one.
std::string typed_file_name(const std::string& typed, const char* extension, std::string& why);

} // namespace tmod
