// Panels: an OBJET is a sprite that owns the elements of three faces (front,
// back, reduced), read from RC layout files, draws them relative to its own
// position over a background, and routes input messages to its widgets. Every
// module panel and dashboard of the editor derives from it.
// Graphics thread only.
#pragma once

#include "toolkit/widgets.hpp"

#include <memory>
#include <string>
#include <vector>

namespace tmod {

using element_ptr = std::unique_ptr<SPRITE>;
using element_list = std::vector<element_ptr>;

// Element names carry their panel's name as a prefix ("12_IMAGE_FOND"). Lookups
// skip 3 characters when the third is "_", else 2 when the second is "_", else
// nothing: panel names of one or two characters.
const char* strip_panel_prefix(const char* element_name);

class OBJET : public SPRITE {
  public:
    enum display { front = 1, reduced = 2, back = 4 };
    static constexpr int text_size = item_name_size;

    // What a panel's faces measure, known before they are read.
    struct face_sizes {
        int front_w, front_h, back_w, back_h;
        float width, height, w, h;
    };

    // A null name ends the program ("Cannot Create OBJET withouth a name").
    OBJET(int x, int y, const char* panel_name);
    ~OBJET() override;

    // Appends the elements of an RC file to the face `elements` points to.
    // 1 after reading, -1 when the file cannot be opened. Bad records are
    // skipped with a message; nothing in a layout ends the program.
    int load_rc(const char* path);
    // Writes the face shown. 1, or -1 when the file cannot be written or the
    // element names carry no panel prefix.
    int save_rc(const char* path);

    // Searched from the last element to the first, names compared after the
    // panel prefix.
    SPRITE* find_element(const char* element_name) const;
    // The same among elements whose full name contains "BUTTON" (prefix of 3 when
    // the third character is "_", else 2).
    SPRITE* find_button(const char* element_name) const;
    // Elements passed from the last one before reaching it (names containing
    // "BACK" are not counted as found); 0 when absent.
    int element_depth(const SPRITE* element) const;
    // Topmost element under the pointer (world coordinates), zoom included.
    SPRITE* element_at_pointer() const;

    // 1 front, 2 reduced, 4 back; 0 toggles front/reduced.
    virtual void set_display_mode(int mode);
    // Routes queued messages to the widgets, redraws on change. Returns 0.
    int update() override;
    // Background (when asked), elements, frame.
    virtual void draw(int unused, int with_background);
    // What the panel draws beyond its elements (text of its own), as a
    // fingerprint: a change of it is a change of the panel's look.
    virtual std::uint64_t own_look() const { return 0; }

    // Queues a copy of the record for update to route.
    void post(const GUI_MESSAGE& message) { messages.push_back(message); }
    void mark_all(int flag);
    // w, h from the IMAGE_FOND element's image, else from the face's width and
    // height; halved in reduced mode.
    void fit_to_background();
    void draw_fond_mask();
    // Appends an element built in code to the face shown (owned from now on).
    SPRITE* append(element_ptr element);

    // A panel may read its faces only when something first needs them (it is
    // drawn, pointed at, cabled, looked into): a patch of thousands of modules
    // shows a few at a time. Until then it has the sizes it was given.
    bool faces_built() const { return faces_built_; }
    void need_faces() const;
    face_sizes sizes() const;
    void take_sizes(const face_sizes& s);

    SPRITE* last_drawn = nullptr;
    int reduced_w = 0, reduced_h = 0;
    int front_w = 0, front_h = 0;
    int back_w = 0, back_h = 0;
    float width = 0, height = 0;
    std::uint32_t colour = 0; // 0x00RRGGBB background without an IMAGE_FOND
    char panel_name[text_size];
    std::string rc_path;
    // Panel position when the last RC file was read (its sprites carry it).
    int rc_origin_x = 0, rc_origin_y = 0;
    int display_mode = front;
    std::vector<GUI_MESSAGE> messages;
    element_list elements_front, elements_back, elements_reduced;
    element_list* elements = &elements_front;

  protected:
    // From construction: the faces wait for need_faces.
    void wait_for_faces() { faces_built_ = false; }
    // Reads the faces of a waiting panel, once, as if it stood at (0, 0).
    virtual void build_faces() {}

  private:
    SPRITE* find_in(const char* element_name, bool buttons_only) const;
    bool owns(const SPRITE* element) const;
    bool faces_built_ = true;
};

// Draws (update, then draw) every panel of the list that overlaps the view at
// the given scroll, with one panel size of margin, from the last to the first.
// Works on lists of raw or smart pointers.
bool panel_in_view(const OBJET& panel, int scroll_x, int scroll_y);
template <class List>
void draw_visible_panels(const List& panels, int scroll_x, int scroll_y, int with_background) {
    for (auto it = panels.rbegin(); it != panels.rend(); ++it) {
        OBJET& panel = **it;
        if (!panel_in_view(panel, scroll_x, scroll_y)) continue;
        panel.need_faces();
        panel.update();
        panel.draw(0, with_background);
    }
}

} // namespace tmod
