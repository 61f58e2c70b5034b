#include "editor/view.hpp"

#include <GL/gl.h>

#include "editor/editor_layout.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/scene_objects.hpp"
#include "toolkit/video.hpp"

namespace tmod {

view::view() {
    scroll_to(0, 0);
}

int view::width() const {
    return window_width;
}

int view::height() const {
    return window_height;
}

void view::scroll_to(int x, int y) {
    x_ = clamp_scroll_x(x);
    y_ = clamp_scroll_y(y);
    view_scroll_x = x_;
    view_scroll_y = y_;
}

int view::world_y(int window_y) const {
    return window_y + y_ - sprite_draw_shift;
}

int view::window_y(int world_y) const {
    return world_y - y_ + sprite_draw_shift;
}

bool view::follow_edge(int world_x, int world_y) {
    const int sx = window_x(world_x), sy = window_y(world_y);
    int x = x_, y = y_;
    if (sx >= width() - edge) x += edge_step;
    if (sx < edge) x -= edge_step;
    if (sy >= height() - edge) y += edge_step;
    if (sy < edge) y -= edge_step;
    const int old_x = x_, old_y = y_;
    scroll_to(x, y);
    return old_x != x_ || old_y != y_;
}

void view::begin_frame() const {
    push_ortho(0, 0, width(), height());
}

void view::end_frame() const {
    pop_ortho();
}

void screen_text(int font, int size, float x, float y_from_top, std::uint32_t colour,
                 const char* text) {
    if (!gl_ready()) return;
    glColor3ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
               static_cast<GLubyte>(colour));
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float scale = static_cast<float>(size) / 36.0f;
    glScalef(scale, scale, 1.0f);
    print(font_table().get_or_first(font), x, static_cast<float>(window_height - 21) - y_from_top,
          "%s", text);
    glPopMatrix();
    glColor3ub(255, 255, 255);
}

} // namespace tmod
