// The patch editor: one object holding what the main loop, the event passes,
// the patch load and the dashboards share, on the main (graphics) thread.
// The engine is started and stopped by the caller; the editor shows and edits
// its root container and calls the caller's per-pass service on every pass.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/cables.hpp"
#include "editor/module_panels.hpp"
#include "editor/scope.hpp"

union SDL_Event;

namespace tmod {

class GENERATOR;
class SPRITE;
class remote_server;
struct audio_pump;

// The information panel: names the panel under the pointer and the level shown.
class INFO_DASH : public OBJET {
  public:
    explicit INFO_DASH(class editor& e);
    void set_target(OBJET* panel);
    void draw(int unused, int with_background) override;
    OBJET* target = nullptr;

  private:
    class editor& editor_;
    LABEL* name_label_;
    LABEL* type_label_;
};

// Change mask of an event pass.
enum pass_bits : int { pass_redraw = 1, pass_picked = 2, pass_scrolled = 4, pass_loaded = 666 };

class editor {
  public:
    editor(GENERATOR& root, audio_pump* pump);
    ~editor();
    editor(const editor&) = delete;
    editor& operator=(const editor&) = delete;

    // Caller's work on every pass (scripted events, remote poll, recording).
    std::function<void()> pass_hook;
    // Reads one console line (false at end of input): the save prompt.
    std::function<bool(std::string&)> read_line;
    // The remote control's server, when it listens: the passes accept from it.
    remote_server* remote = nullptr;

    // The window is open: panels for the engine's patch, first frame.
    void start(const char* patch_path);
    // Runs until Esc at the top level. Returns 0.
    int run();
    // Panels and dashboards deleted (before the engine's patch goes).
    void close();

    // Replaces the engine's patch with the file and rebuilds the editor
    // around it. Never ends the program: what could be loaded stays and the
    // message line says why the rest did not.
    void load(const char* path);
    // Builds one panel per module of `g` into `panels` (dashboards kept in front).
    void build_panels(panel_list& panels, GENERATOR& g);
    // Reads the events pending and returns the change mask.
    int play_pass(panel_list& panels, bool accept_remote);
    // Edit mode: the mouse draws and moves cables instead of working controls.
    int edit_pass(panel_list& panels, bool accept_remote);
    // The load dialog (modal). False when left without choosing.
    bool load_dialog();
    // Asks for a name on the console and writes the shown level to TSY/<name>.
    void save_level();
    // A module of the kind from the palette, its panel on top of the level.
    OBJET* palette_create(module_kind kind);
    // Clears every playing state of the container, nested ones included.
    void stop_patch(GENERATOR& g);
    void draw_frame();
    // Acts on the button releases queued on the palette and the system panel.
    void take_dashboard_actions();
    // Accepts at most one waiting remote client, of the kind the mode gives.
    int accept_remote_client();

    // Editor state.
    int running = 1;
    int edit_mode = 0;
    int docks_visible = 1;
    int relink_pending = 1;
    int scroll_x = 0, scroll_y = 0;
    // The pointer in world coordinates and back. Images are drawn
    // sprite_draw_shift pixels below their positions, so the pointer is taken
    // that much higher: a click lands on what is drawn under it.
    int world_y(int screen_y) const { return screen_y + scroll_y - sprite_draw_shift; }
    int screen_y_of(int world) const { return world - scroll_y + sprite_draw_shift; }
    GENERATOR* root_generator;
    GENERATOR* current_generator;
    std::unique_ptr<GENERATOR_GUI> root_gui;
    GENERATOR_GUI* current_gui = nullptr;
    panel_list* current_panels = nullptr;
    std::vector<GENERATOR_GUI*> level_stack;
    int level_depth = 0;
    INFO_DASH* info_dash = nullptr;
    OBJET* module_dash = nullptr;
    OBJET* system_dash = nullptr;
    std::string message_line; // why the last load or save went wrong
    std::string window_title;

    // Pointer state of the passes.
    int hovered_panel = -1;
    SPRITE* hovered_widget = nullptr;
    SPRITE* pressed_widget = nullptr;
    OBJET* active_panel = nullptr;
    int dragged_panel = -1;
    bool left = false, right = false, panning = false;
    int press_x = 0, press_y = 0;
    int anchor_x = 0, anchor_y = 0;

    // Edit mode's cables and the one being dragged.
    cable_editor cables{relink_pending};

  private:
    void dock_dashboards();
    int key_down(int sym, panel_list& panels);
    int key_up(int sym);
    // Plays on the level's keyboard; the root's when none is given.
    void play_note(int note, bool on, GENERATOR* level = nullptr);
    // What both passes do with the pointer: coordinates made world, panning,
    // right-button panel moves, hover, panel drag (and slider drag in play mode).
    int button_down_common(panel_list& panels, SDL_Event& e);
    int pointer_moved(panel_list& panels, const SDL_Event& e, bool slider_drag);
    int button_up_common(panel_list& panels, SDL_Event& e);
    void step_patch(bool forward);
    void leave_level();
    bool is_dashboard(const OBJET* p) const;
    void draw_message_line();

    // While the pump's scope view is on, the oscilloscope replaces the panels.
    void show_scope(bool on);

    audio_pump* pump_;
    std::unique_ptr<oscilloscope> scope_;
    bool scope_shown_ = false;
    std::uint32_t next_scope_frame_ = 0;
    std::unique_ptr<SPRITE> background_;
    bool in_dialog_ = false;
    bool dialog_cancel_ = false;
    bool stop_pass_ = false;
};

} // namespace tmod
