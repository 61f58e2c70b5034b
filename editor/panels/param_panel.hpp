// The panel most module types use: controls found by name in the layouts and
// bound to the type's parameter descriptions by their control words. Types
// with behaviour no description carries derive from it.
#pragma once

#include <string>

#include "editor/editor_row.hpp"

namespace tmod {

class LABEL;

class PARAM_GUI : public MODULE_GUI {
  public:
    // The faces wait until needed (see prepare_faces): then the background
    // layout is read, then the controls layout (a missing file leaves its
    // controls out).
    PARAM_GUI(const editor_row& row, OUTPUT& module, const char* panel_name);

    // Handles the queued messages (newest first), refreshes what moves, then
    // the panel's own update.
    int update() override;
    // Labels, slider angles, switch states and pictures from the module
    // (faces not read yet show them when they are).
    void refresh() {
        if (faces_built()) show_values();
    }
    // The small form is read the first time it is shown.
    void set_display_mode(int mode) override;

    const module_type& type;
    const editor_row& row;

  protected:
    void build_faces() final;
    // Elements made in code, after the layouts are read.
    virtual void add_elements() {}
    virtual void show_values();
    // A button released with a mouse button (1 left, 4/5 the wheel). True when handled.
    virtual bool on_button(const char* control, int mouse_button);
    // "SLD_DOWN" (down true: the pointer moved down, or the wheel turned
    // down) or "SLD_UP" on a slider. True when handled.
    virtual bool on_slider(const char* control, bool down);
    // Refreshes the engine state that moves by itself (each update).
    virtual void refresh_live();

    double value(const param_desc& d, int index = 0) const;
    // Through the editing seam, then the controls are shown again.
    void change(const param_desc& d, int index, double v);

    LABEL* label(const char* name) const;
    void show_text(const char* label_name, const std::string& text);
    void show_picture(const char* element, const char* image);
    void show_angle(const char* slider, int angle);
    // The knob's pointer at `position` (0 .. 1) of its turn: from seven to
    // five o'clock, clockwise.
    void show_knob(const char* slider, double position);
    void show_state(const char* button, int state);
    bool holds(const SPRITE* element) const;
    // Adds the panel's prefix ("12_") to a local name.
    std::string prefixed(const std::string& local) const;

  private:
    bool stale_ = false; // shown before a queued change reached the module
};

// The first panel of a type reads its faces at once and its sizes are
// kept; the others of the type take those sizes and read their faces when
// first needed. Every panel shows its module's values from the moment its
// faces are read.
void prepare_faces(PARAM_GUI& panel);
template <class Panel>
panel_ptr made(std::unique_ptr<Panel> panel) {
    prepare_faces(*panel);
    return panel;
}

// Every module panel of the list, and of the levels nested in it, shows its
// module's values again (after an undo, or a restored set).
void refresh_panels(const panel_list& panels);

// The panel's number prefix of its widgets ("12" for "VCO_12").
std::string panel_prefix(const char* panel_name);

// Reads a layout into the face `elements` points to, its element names
// prefixed with the panel's number (lookups skip that short prefix only).
int load_layout(OBJET& panel, const char* path);
// Reads the back face, then the front face, and records both sizes.
void load_faces(OBJET& panel, const char* back_rc, const char* front_rc);

} // namespace tmod
