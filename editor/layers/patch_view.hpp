// The bottom layer: the shown level's panels over the background. In play
// mode the mouse works the controls and the computer keyboard plays notes;
// in edit mode (F6) the panels show their backs and the left button draws
// and moves cables. Function keys switch views and patches in both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "editor/cables.hpp"
#include "editor/layers/layer.hpp"
#include "editor/learn_gesture.hpp"
#include "editor/pointer.hpp"

namespace tmod {

class editor_host;

class patch_view : public layer {
  public:
    explicit patch_view(editor_host& e);
    ~patch_view() override;

    bool handle(SDL_Event& e, int& result) override;
    // The dashboards' buttons, the cables of edit mode, the docked band.
    void pass() override;
    // Panels and their elements, cables, the message line: what changed
    // since the last frame. A scroll, a mode or level change, a reload of
    // the images asks for the whole window.
    void find_damage(damage& d, int result) override;
    void draw(const screen_rect& region) override;
    bool moving() const override;

    bool edit_mode() const { return edit_mode_; }
    // The level's panels are new: nothing the pointer or the cables held stays.
    void panels_rebuilt();
    // The next frame draws the whole window.
    void redraw_all() { whole_ = true; }
    // A panel was put in front of the level's: the hovered index is stale.
    void panels_moved() { pointer_.hovered_panel = -1; }

  private:
    int button_down(SDL_Event& e);
    int button_up(SDL_Event& e);
    int play_key_down(int sym);
    int play_key_up(int sym);
    int edit_key_down(const SDL_Event& e);
    int edit_key_up(int sym);
    static bool command_key(const SDL_Event& e);
    void command(int sym, bool shift);
    // What both modes do with the keys they share.
    void shared_key(int sym);
    void flip_mode();
    void step_patch(bool forward);
    void draw_message_line();
    void cable_damage(damage& d);

    editor_host& ed_;
    panel_pointer pointer_;
    int relink_ = 1; // the cables are rebuilt from the engine before the next frame
    cable_editor cables_{relink_};
    learn_gesture learn_;
    bool edit_mode_ = false;
    std::unique_ptr<SPRITE> background_;
    // What the last frame showed.
    panels_drawn drawn_;
    std::vector<std::pair<std::uint64_t, screen_rect>> cables_drawn_;
    std::string message_drawn_;
    int drawn_x_ = 0, drawn_y_ = 0;
    bool drawn_edit_mode_ = false;
    const void* drawn_level_ = nullptr;
    bool whole_ = true;
};

} // namespace tmod
