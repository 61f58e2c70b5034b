// The bottom layer: the shown level's panels over the background. In play
// mode the mouse works the controls and the computer keyboard plays notes;
// in edit mode (F6) the panels show their backs and the left button draws
// and moves cables. Function keys switch views and patches in both.
#pragma once

#include <memory>

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
    bool frame_due(int result, clock::time_point now) override;
    void draw() override;

    bool edit_mode() const { return edit_mode_; }
    // The level's panels are new: nothing the pointer or the cables held stays.
    void panels_rebuilt();
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

    editor_host& ed_;
    panel_pointer pointer_;
    int relink_ = 1; // the cables are rebuilt from the engine before the next frame
    cable_editor cables_{relink_};
    learn_gesture learn_;
    bool edit_mode_ = false;
    clock::time_point last_draw_ = clock::now();
    std::unique_ptr<SPRITE> background_;
};

} // namespace tmod
