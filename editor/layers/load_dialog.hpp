// The load dialog (LOAD): the patch files of TSY/, ten at a time; the
// arrows scroll, a click on a name loads it, Esc or a press outside leaves.
// A layer over the patch view: it takes the pointer and the keys that act on
// patches; notes and the other keys reach the patch view below.
#pragma once

#include <string>
#include <vector>

#include "editor/layers/layer.hpp"
#include "editor/pointer.hpp"

namespace tmod {

class editor_host;
class LABEL;

class load_dialog : public layer {
  public:
    explicit load_dialog(editor_host& e);
    ~load_dialog() override;

    bool handle(SDL_Event& e, int& result) override;
    // The dialog's messages: hover colours, the name chosen, the arrows.
    void pass() override;
    void find_damage(damage& d, int result) override;
    void draw(const screen_rect& region) override;
    // A held arrow scrolls the names.
    bool moving() const override { return direction_ != 0; }

  private:
    void show_window(int first);
    int shown_row(const SPRITE* target) const;

    editor_host& ed_;
    panel_pointer pointer_;
    panel_list own_;
    OBJET* dialog_ = nullptr;
    std::vector<std::string> names_;
    // Ours, except while shown: then the dialog's (show_window hands them back).
    std::vector<LABEL*> labels_;
    int first_ = 0;
    int direction_ = 0;
    bool changed_ = true;
    clock::time_point last_scroll_ = clock::now();
    panels_drawn drawn_;
};

} // namespace tmod
