// Redraw by damage: the regions of the window a frame draws again, what a
// panel shows (so a change of it can be seen without drawing), and the last
// frame kept in a texture so that only the damaged regions are drawn over it.
// Rectangles are in window pixels, y downward. Graphics thread only.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tmod {

class OBJET;
class SPRITE;

struct screen_rect {
    int x = 0, y = 0, w = 0, h = 0;
    bool empty() const { return w <= 0 || h <= 0; }
    // Sharing a pixel or touching along an edge.
    bool meets(const screen_rect& o) const;
    screen_rect united(const screen_rect& o) const;
    screen_rect clipped(int width, int height) const;
    bool operator==(const screen_rect& o) const {
        return x == o.x && y == o.y && w == o.w && h == o.h;
    }
};

// The damage of one frame: disjoint rectangles inside the window, or the
// whole window. Rectangles that meet are merged; when they cover most of the
// window, or are many, the whole window is cheaper to draw.
class damage {
  public:
    damage(int width, int height) : width_(width), height_(height) {}

    void add(screen_rect r);
    void add_all() { whole_ = true, rects_.clear(); }
    bool whole() const { return whole_; }
    bool empty() const { return !whole_ && rects_.empty(); }
    // The regions to draw: the window itself when whole.
    std::vector<screen_rect> regions() const;
    void clear() { whole_ = false, rects_.clear(); }
    int width() const { return width_; }
    int height() const { return height_; }

  private:
    int width_, height_;
    bool whole_ = false;
    std::vector<screen_rect> rects_;
};

// Fingerprints of what a panel draws: its frame (place, face, size, what it
// draws of its own) and each element of the face shown (image, mask, place,
// zoom, angle, blending, a label's text, font and colour). Equal looks draw
// equal pixels.
std::uint64_t panel_frame_look(const OBJET& panel);
std::uint64_t element_look(const SPRITE& element);
// Window pixels an element of a panel at window position (px, py) may draw
// on, with room for the drawing shifts and for rotation; and the panel's,
// its box and all its elements'.
screen_rect element_extent(const SPRITE& element, double px, double py);
screen_rect panel_extent(const OBJET& panel, int scroll_x, int scroll_y);

// What was drawn of a list of panels at the last frame, to tell what changed
// since: an element whose look changed damages where it was and where it is;
// a panel moved, resized, turned to another face, brought in front of
// another, gone or new damages where it was and where it is.
class panels_drawn {
  public:
    // Updates each panel in view (as drawing it does) and its elements, and
    // adds what changed to `d`. `List` holds raw or smart panel pointers,
    // drawn from the last to the first.
    template <class List>
    void compare(const List& panels, int scroll_x, int scroll_y, damage& d) {
        ++round_;
        const OBJET* in_front = nullptr;
        for (const auto& p : panels) {
            note(*p, in_front, scroll_x, scroll_y, d);
            in_front = &*p;
        }
        drop_unseen(d);
    }
    // Draws, from the last to the first, the panels compared at this frame
    // whose extent meets the region (each over its background).
    template <class List>
    void draw(const List& panels, const screen_rect& region) {
        for (auto it = panels.rbegin(); it != panels.rend(); ++it) draw_one(**it, region);
    }
    // Nothing is known drawn: the next comparison finds every panel new.
    void forget() { drawn_.clear(); }

  private:
    struct drawn_panel {
        const OBJET* in_front;
        std::uint64_t frame;
        screen_rect at;
        std::vector<std::pair<std::uint64_t, screen_rect>> elements;
        unsigned round;
    };
    void note(OBJET& p, const OBJET* in_front, int scroll_x, int scroll_y, damage& d);
    void drop_unseen(damage& d);
    void draw_one(OBJET& p, const screen_rect& region);

    std::unordered_map<const OBJET*, drawn_panel> drawn_;
    unsigned round_ = 0;
};

// FNV-1a over plain values, for looks.
struct look_hash {
    std::uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, std::size_t n);
    template <class T>
    void add(const T& v) {
        bytes(&v, sizeof v);
    }
    void text(const char* s);
};

// The last frame, kept where the next frame can start from it. Where the
// window system copies parts of the back buffer to the window
// (GLX_MESA_copy_sub_buffer), the back buffer is never swapped: it keeps the
// last frame and only the regions drawn are copied out. Elsewhere a swap
// leaves the back buffer undefined, so the frame is kept in a texture and
// copied back before the regions are drawn. TM_FRAME_KEEPING=texture takes
// the second way everywhere. Without a drawing context nothing is done.
class kept_frame {
  public:
    ~kept_frame();
    // Readies the back buffer for a frame that draws only some regions.
    // False when the last frame is not there (the frame draws the whole).
    bool begin();
    // Shows the regions just drawn in the window and keeps them.
    void end(const std::vector<screen_rect>& regions);
    // Shows the last frame again, whole (the window was uncovered). False
    // when there is none: a whole frame has to be drawn.
    bool show_again();
    // The last frame is not kept any more.
    void forget() { valid_ = false; }

  private:
    void choose();
    void keep(const std::vector<screen_rect>& regions);
    bool restore();

    bool chosen_ = false;
    void (*copy_sub_)() = nullptr; // glXCopySubBufferMESA, when there is one
    unsigned texture_ = 0;
    int tex_w_ = 0, tex_h_ = 0;
    bool valid_ = false;
};

// Waits until the window shows every frame drawn so far, for pictures that
// another program takes of it.
void wait_shown();

// Drawing confined to the region (window pixels), and free again. While
// confined, what lies wholly outside the region may be skipped.
void clip_to(const screen_rect& r);
void clip_none();
// Nothing drawn reaches the window until the next clip_to: between frames a
// panel that redraws itself as it takes its messages would otherwise leave
// marks in the kept frame.
void clip_shut();
// Whether an element of a panel drawn now can reach the region drawn.
bool reaches_drawing(const SPRITE& element, const OBJET& panel);

} // namespace tmod
