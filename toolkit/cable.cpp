#include "toolkit/cable.hpp"

#include "toolkit/frame_state.hpp"
#include "util/num.hpp"

#include <GL/gl.h>

#include <cstring>

namespace tmod {
namespace {

constexpr const char* plugged = "FICHE_PLUG";
constexpr const char* plugged_mask = "FICHE_PLUG_MASK";
constexpr const char* unplugged = "FICHE_UNPLUG";
constexpr const char* unplugged_mask = "FICHE_UNPLUG_MASK";

void show_plugged(SPRITE& plug, bool is_plugged) {
    plug.set_image(is_plugged ? plugged : unplugged);
    plug.set_mask(is_plugged ? plugged_mask : unplugged_mask);
}

void toggle(SPRITE& plug, int force_plug, int force_unplug) {
    show_plugged(plug, std::strcmp(plug.image, unplugged) == 0);
    if (force_plug) show_plugged(plug, true);
    if (force_unplug) show_plugged(plug, false);
}

// Centre of a widget placed on its panel.
void centre_of(const OBJET& panel, const SPRITE& widget, int& cx, int& cy) {
    cx = saturating_int(panel.x + widget.x + widget.w / 2);
    cy = saturating_int(panel.y + widget.y + widget.h / 2);
}

} // namespace

CABLE::CABLE(OBJET* a, OBJET* b, SPRITE* wa, SPRITE* wb, std::uint32_t c)
    : start_plug(plugged, 0, 0, 1, 0xFF00FF, 0, 1.0f, 0, 0),
      end_plug(plugged, 0, 0, 1, 0xFF00FF, 0, 1.0f, 0, 0) {
    colour = c;
    set_ends(a, b, wa, wb, c);
    start_plug.set_position(static_cast<float>(x1), static_cast<float>(y1), 0);
    end_plug.set_position(static_cast<float>(x2), static_cast<float>(y2), 0);
    start_plug.set_mask(plugged_mask);
    end_plug.set_mask(plugged_mask);
}

void CABLE::set_ends(OBJET* a, OBJET* b, SPRITE* wa, SPRITE* wb, std::uint32_t c) {
    panel_a = a;
    panel_b = b;
    widget_a = wa;
    widget_b = wb;
    const bool has_a = a && wa, has_b = b && wb;
    if (has_a)
        centre_of(*a, *wa, x1, y1);
    else if (has_b)
        centre_of(*b, *wb, x1, y1);
    if (has_b) {
        centre_of(*b, *wb, x2, y2);
    } else if (has_a) {
        x2 = x1 + 40;
        y2 = y1 + 40;
    }
    colour = c;
}

void CABLE::toggle_start_plug(int force_plug, int force_unplug) {
    toggle(start_plug, force_plug, force_unplug);
}

void CABLE::toggle_end_plug(int force_plug, int force_unplug) {
    toggle(end_plug, force_plug, force_unplug);
}

void CABLE::draw_cable() {
    start_plug.update();
    end_plug.update();
    start_plug.set_position(static_cast<float>(x1) - start_plug.w / 2,
                            static_cast<float>(y1) - start_plug.h / 2, 0);
    end_plug.set_position(static_cast<float>(x2) - end_plug.w / 2,
                          static_cast<float>(y2) - end_plug.h / 2, 0);
    draw_curve(x1, y1, x2, y2, colour);
    drawn_x1 = x1;
    drawn_y1 = y1;
    drawn_x2 = x2;
    drawn_y2 = y2;
    start_plug.redraw = end_plug.redraw = 1;
    start_plug.blit();
    end_plug.blit();
}

cable_curve cable_control_points(int x1, int y1, int x2, int y2) {
    const float sx = static_cast<float>(view_scroll_x), sy = static_cast<float>(view_scroll_y);
    const long long mid_x = (static_cast<long long>(x1) + x2) / 2;
    const long long sum_y = static_cast<long long>(y1) + y2;
    cable_curve c{};
    c.points[0][0] = static_cast<float>(x1) - sx;
    c.points[0][1] = static_cast<float>(y1) + 15.0f - sy;
    c.points[1][0] = static_cast<float>(mid_x) - sx;
    c.points[1][1] = static_cast<float>(sum_y) + 15.0f - sy;
    c.points[2][0] = static_cast<float>(x2) - sx;
    c.points[2][1] = static_cast<float>(y2) + 15.0f - sy;
    return c;
}

void draw_curve(int x1, int y1, int x2, int y2, std::uint32_t colour) {
    if (!gl_ready()) return;
    const cable_curve base = cable_control_points(x1, y1, x2, y2);
    const int r0 = static_cast<int>((colour >> 16) & 0xFF);
    const int g0 = static_cast<int>((colour >> 8) & 0xFF);
    const int b0 = static_cast<int>(colour & 0xFF);

    // Upper passes move up one pixel each, lower passes down; both darken by a
    // quarter per pass.
    const float starts[2] = {0.0f, 1.0f};
    const float steps[2] = {-1.0f, 1.0f};
    glLineWidth(1.0f);
    for (int half = 0; half < 2; ++half) {
        int r = r0, g = g0, b = b0;
        cable_curve c = base;
        for (auto& p : c.points) p[1] += starts[half];
        for (int pass = 0; pass < 3; ++pass) {
            glColor3ub(static_cast<GLubyte>(r), static_cast<GLubyte>(g), static_cast<GLubyte>(b));
            glMap1f(GL_MAP1_VERTEX_3, 0.0f, 1.0f, 3, 3, &c.points[0][0]);
            glEnable(GL_MAP1_VERTEX_3);
            glBegin(GL_LINE_STRIP);
            for (int i = 0; i <= 30; ++i) glEvalCoord1f(static_cast<float>(i) / 30.0f);
            glEnd();
            r -= r >> 2;
            g -= g >> 2;
            b -= b >> 2;
            for (auto& p : c.points) p[1] += steps[half];
        }
    }
    glColor4ub(255, 255, 255, 255);
    glDisable(GL_MAP1_VERTEX_3);
}

bool panel_under_pointer(const OBJET& p) {
    return rect_contains(saturating_int(p.x), saturating_int(p.y), saturating_int(p.w * p.zoom),
                         saturating_int(p.h * p.zoom), pointer_x, pointer_y);
}

} // namespace tmod
