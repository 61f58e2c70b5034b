// Widgets: BUTTON (two-state toggle with a highlight image), SLIDER (a knob whose
// value is its rotation angle) and LABEL (a line of text). Widgets never read the
// mouse: the editor's event passes post GUI_MESSAGE records to them through their
// panel, and each widget consumes its queue, newest record first, in update().
// Graphics thread only.
#pragma once

#include "toolkit/scene_objects.hpp"

#include <SDL/SDL.h>

#include <vector>

namespace tmod {

// SDL 1.2 event types the widgets look at.
constexpr int event_button_down = SDL_MOUSEBUTTONDOWN; // 5
constexpr int event_button_up = SDL_MOUSEBUTTONUP;     // 6
constexpr int event_user = SDL_USEREVENT;              // 24

struct GUI_MESSAGE {
    int kind = 0;             // 0 text command, anything else an input event
    SDL_Event event{};        // copy of the SDL event (first byte: its type)
    char text[640] = {};      // "TOUCH_IN", "TOUCH_OUT", "SLD_UP", "SLD_DOWN"
    SPRITE* target = nullptr; // widget the record is meant for, or null

    // A text command (kind 0); the text is cut to 639 characters.
    static GUI_MESSAGE command(const char* text, SPRITE* target);
    // An input event (kind 1).
    static GUI_MESSAGE input(const SDL_Event& event, SPRITE* target);
    // A mouse-button event of the given type (5 or 6) and button (kind 1).
    static GUI_MESSAGE mouse(int type, int button, SPRITE* target);

    int event_type() const { return event.type; }
};

// A queue of owned message records.
class MSG_RESPONDER {
  public:
    virtual ~MSG_RESPONDER() = default;

    void post(const GUI_MESSAGE& message) { queue.push_back(message); }
    int count() const { return static_cast<int>(queue.size()); }
    const GUI_MESSAGE& get(int index) const { return queue[static_cast<std::size_t>(index)]; }
    // Removes the newest record.
    void pop() { queue.pop_back(); }

    std::vector<GUI_MESSAGE> queue;
};

class BUTTON : public SPRITE, public MSG_RESPONDER {
  public:
    // Without a mask name, image_off "BTN_VCO_OFF" gives the mask "BTN_VCO_MASK";
    // an image_off with no "_" after its first character gives no mask.
    BUTTON(const char* name, const char* image_off, const char* image_touched, const char* image_on,
           const char* mask_name = nullptr);

    // Toggles on release (event 6), never on press; the highlight image wins over
    // both state images while touched. Returns 0.
    int update() override;
    void dump() const override;

    char image_on[item_name_size];
    char image_touched[item_name_size]; // beginning with "0": no highlight
    char image_off[item_name_size];
    int state = 0;
};

class SLIDER : public SPRITE, public MSG_RESPONDER {
  public:
    // The mask is the image name followed by "_MASK".
    SLIDER(const char* name, const char* image);

    // "SLD_DOWN" adds one degree, "SLD_UP" takes one away; unbounded. Returns 0.
    int update() override;
    void dump() const override;
};

class LABEL : public SPRITE, public MSG_RESPONDER {
  public:
    // Captions are short words and values; a longer text is cut (a label is
    // made for every control of every panel: 20 000 panels hold 300 000).
    static constexpr int caption_size = 128;

    // A size of 24 or more becomes 10; a font outside 0..9 becomes font 0. The
    // label is placed at (x, 747 - y): the text routine draws in a y-up frame.
    LABEL(const char* caption, int x, int y, int box_w, int box_h, int font, int size,
          std::uint32_t colour);

    // Notices caption and colour changes. The label's box is its text:
    // (length x size / 2) by size. Returns 0.
    int update() override;
    void dump() const override;
    // Draws the caption at the label's position with its
    // font and colour.
    void draw_text();

    void set_caption(const char* text);

    int font = 0;
    std::uint32_t last_colour = 0;
    std::uint32_t colour = 0;  // 0x00RRGGBB
    std::uint32_t colour2 = 0; // printed by dump only
    char caption[caption_size];
    char shown_caption[caption_size];
    int size = 10;

  private:
    void fit_box();
};

} // namespace tmod
