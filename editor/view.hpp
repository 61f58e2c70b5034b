// The window's look at the world of panels: its size, where it is scrolled
// to, the world's bounds, and the conversions between window and world
// pixels. Nothing else in the editor knows the window's size or the drawing
// offset of images. Main (graphics) thread only.
#pragma once

#include <cstdint>

namespace tmod {

class view {
  public:
    view();

    int width() const;
    int height() const;
    // World position of the window's top-left corner.
    int x() const { return x_; }
    int y() const { return y_; }
    // Scrolls to (x, y), clamped to the world; the toolkit draws from there.
    void scroll_to(int x, int y);

    // Window pixels to world pixels and back. Images are drawn a few pixels
    // below their positions, so the pointer is taken that much higher: a
    // click lands on what is drawn under it.
    int world_x(int window_x) const { return window_x + x_; }
    int world_y(int window_y) const;
    int window_x(int world_x) const { return world_x - x_; }
    int window_y(int world_y) const;

    // A panel dragged within `edge` pixels of the window's border scrolls the
    // view one step that way. True when the view moved.
    bool follow_edge(int world_x, int world_y);
    static constexpr int edge = 5;
    static constexpr int edge_step = 35;

    // The projection of a frame drawn in window pixels, and back.
    void begin_frame() const;
    void end_frame() const;

  private:
    int x_ = 0, y_ = 0;
};

// Text in window pixels from the top left, drawn as labels draw theirs
// (nothing without a drawing context).
void screen_text(int font, int size, float x, float y_from_top, std::uint32_t colour,
                 const char* text);

} // namespace tmod
