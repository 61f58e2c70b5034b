// The cables of edit mode: rebuilt from the engine's connections, and the
// gestures that change them (press on a plug, drag, drop, Delete). The engine
// is the only truth: a gesture changes a connection through the editing seam
// and asks for a rebuild, which then draws exactly what is connected.
// Main (graphics) thread only.
#pragma once

#include <memory>
#include <vector>

#include "editor/module_panels.hpp"
#include "toolkit/cable.hpp"

namespace tmod {

class GENERATOR;

// Cable colours by what they carry.
constexpr std::uint32_t cable_signal = 0xFFFFFF;
constexpr std::uint32_t cable_gate = 0xFF0000;
constexpr std::uint32_t cable_sync = 0x0000FF;
constexpr std::uint32_t cable_drawn = 0xFF00FF;

// What the cable being dragged carries and which end is loose: end A (the
// input side) for 1, 2, 3; end B (the output side) for 0, 4, 5.
enum class drag_kind : int {
    signal_output = 0,
    signal_input = 1,
    gate_input = 2,
    sync_input = 3,
    gate_output = 4,
    sync_output = 5,
};

class cable_editor {
  public:
    // `relink` is the editor's rebuild request, set by every gesture that
    // may have changed a connection.
    explicit cable_editor(int& relink) : relink_(relink) {}

    // Every cable goes and one is made per connected input of the level's
    // panels (plugs of their back faces). Clears the rebuild request.
    void rebuild(GENERATOR& level, const panel_list& panels);
    // Forgets every cable and the drag (the panels they join are going).
    void clear();

    // Left button down on plug `w` of `panel`: picks up the cable end of an
    // input there, or starts a new cable (from an output, always: one output
    // feeds many inputs; with `pick_up_source`, a connected output's cable is
    // picked up by its source end instead). 1 when a cable is now dragged.
    int press(OBJET* panel, SPRITE* w, bool pick_up_source = false);
    // The loose end follows the pointer (world coordinates).
    void motion(int x, int y);
    // Left button up over plug `w` of `panel` (either may be null): connects
    // what the rules allow. True when the press is over and the pointer goes
    // back to the press point.
    void drop(OBJET* panel, SPRITE* w);
    // Delete down while a cable is held: unplugs it (unless right Ctrl is
    // held). The result bits of the pass.
    int unplug();
    // Keeps the fixed ends on their plugs when panels move.
    void follow_panels();
    void draw();

    std::vector<std::unique_ptr<CABLE>> cables;
    CABLE* dragged = nullptr;
    drag_kind kind = drag_kind::signal_input;
    bool moved = false;
    bool new_cable = false;
    SPRITE* pressed_plug = nullptr;
    OBJET* pressed_panel = nullptr;
    bool right_ctrl_held = false;
    bool delete_held = false;

  private:
    bool end_a_loose() const;
    void end_drag();
    int& relink_;
};

// The plug of that name on the panel's back face, or null.
SPRITE* find_plug(const OBJET& panel, const char* name);

} // namespace tmod
