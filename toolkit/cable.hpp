// Patch cables: a shaded quadratic Bezier between two plugs of two panels, with
// a plug sprite at each end, and the search for the panel under the pointer.
// Graphics thread only.
#pragma once

#include "toolkit/panel.hpp"

#include <cstdint>

namespace tmod {

class CABLE {
  public:
    // Ends from set_ends; both plug sprites show "FICHE_PLUG" with its mask.
    CABLE(OBJET* panel_a, OBJET* panel_b, SPRITE* widget_a, SPRITE* widget_b, std::uint32_t colour);

    // Start: the centre of widget_a on panel_a, else of widget_b on panel_b. End:
    // the centre of widget_b on panel_b, else 40 pixels right of and below the
    // start. With no end at all the ends stay where they were.
    void set_ends(OBJET* panel_a, OBJET* panel_b, SPRITE* widget_a, SPRITE* widget_b,
                  std::uint32_t colour);
    // Switches the plug picture between plugged and unplugged, then forces it.
    void toggle_start_plug(int force_plug, int force_unplug);
    void toggle_end_plug(int force_plug, int force_unplug);
    // The curve, then both plugs over it.
    void draw_cable();

    int drawn_x1 = 0, drawn_x2 = 0, drawn_y1 = 0, drawn_y2 = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    std::uint32_t colour = 0xFFFFFFFF; // 0x00RRGGBB once set
    SPRITE start_plug;
    SPRITE end_plug;
    OBJET* panel_a = nullptr;
    OBJET* panel_b = nullptr;
    SPRITE* widget_a = nullptr;
    SPRITE* widget_b = nullptr;
};

// Control points of the cable from (x1, y1) to (x2, y2) in view coordinates
// (scroll subtracted, 15 pixels lower like the sprites). The middle point's y is
// the sum of the ends' y, so the cable sags below its ends.
struct cable_curve {
    float points[3][3];
};
cable_curve cable_control_points(int x1, int y1, int x2, int y2);

// Six one-pixel passes of the curve: three at 0, -1, -2 and three at +1, +2, +3
// pixels, each a quarter darker than the one before, for a shaded tube.
void draw_curve(int x1, int y1, int x2, int y2, std::uint32_t colour);

// Index of the first panel whose zoomed rectangle contains the pointer (edges
// included), or -1. Works on lists of raw or smart pointers.
bool panel_under_pointer(const OBJET& panel);
template <class List>
int panel_at_pointer(const List& panels) {
    int index = 0;
    for (const auto& p : panels) {
        if (panel_under_pointer(*p)) return index;
        ++index;
    }
    return -1;
}

} // namespace tmod
