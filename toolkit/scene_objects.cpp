#include "toolkit/scene_objects.hpp"

#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"
#include "util/num.hpp"
#include "util/text.hpp"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace tmod {
namespace {

std::uint32_t id_counter = 0;

void format_item_name(char (&dest)[item_name_size], const char* prefix, std::uint32_t id) {
    std::snprintf(dest, sizeof dest, "%s%20lu", prefix, static_cast<unsigned long>(id));
}

} // namespace

std::uint32_t next_item_id() {
    return id_counter;
}

// ---------------------------------------------------------------- TAM_ENGINE

TAM_ENGINE::TAM_ENGINE() : id(id_counter++) {
    std::memset(name, 0, sizeof name);
    format_item_name(name, "ITEM_", id);
}

TAM_ENGINE::TAM_ENGINE(const char* text) : id(id_counter++) {
    std::memset(name, 0, sizeof name);
    set_name(text);
}

void TAM_ENGINE::set_name(const char* text) {
    if (!text) {
        format_item_name(name, "DEFAULT_ITEM_", id);
        return;
    }
    copy_text(name, text);
}

// ---------------------------------------------------------------- BASE

BASE::BASE(float nx, float ny, float nz) : TAM_ENGINE() {
    BASE::set_position(nx, ny, nz);
}

BASE::BASE(float nx, float ny, float nz, const char* text) : TAM_ENGINE(text) {
    format_item_name(name, "BASE_ITEM_", id);
    BASE::set_position(nx, ny, nz);
}

void BASE::set_position(float nx, float ny, float nz) {
    x = nx;
    y = ny;
    z = nz;
}

// ---------------------------------------------------------------- RECTANGLE

RECTANGLE::RECTANGLE(float nx, float ny, float nz, float nw, float nh, float nd, const char* text)
    : BASE(nx, ny, nz, text), w(nw), h(nh), d(nd) {}

bool rect_contains(int left, int top, int width, int height, int px, int py) {
    // 64-bit sums: positions and sizes come from files and may be anything.
    long long l = left, t = top;
    return px >= l && px <= l + width && py >= t && py <= t + height;
}

bool RECTANGLE::contains_point(int px, int py) const {
    return rect_contains(saturating_int(x), saturating_int(y), saturating_int(w), saturating_int(h),
                         px, py);
}

bool RECTANGLE::contains_point(const BASE& probe) const {
    return contains_point(saturating_int(probe.x), saturating_int(probe.y));
}

bool RECTANGLE::overlaps(const RECTANGLE& o) const {
    long long l1 = saturating_int(x), t1 = saturating_int(y);
    long long r1 = l1 + saturating_int(w), b1 = t1 + saturating_int(h);
    long long l2 = saturating_int(o.x), t2 = saturating_int(o.y);
    long long r2 = l2 + saturating_int(o.w), b2 = t2 + saturating_int(o.h);
    return !(r1 < l2 || r2 < l1 || b1 < t2 || b2 < t1);
}

// ---------------------------------------------------------------- SPRITE

SPRITE::SPRITE(const char* image_name, int nx, int ny, int nis_key, std::uint32_t nkey,
               int nadditive, float nzoom, int nangle, int nalpha)
    : RECTANGLE(static_cast<float>(nx), static_cast<float>(ny), 0, 0, 0, 0, nullptr) {
    const char* img = image_name ? image_name : "";
    redraw = 1;
    touched = pressed = subtractive = 0;
    last_touched = 0;
    mask[0] = '\0';
    copy_text(shown_image, img);
    copy_text(name, img);
    copy_text(image, img);
    ix = nx;
    iy = ny;
    zoom = nzoom;
    angle = nangle;
    is_key = nis_key;
    key = nkey;
    additive = nadditive;
    alpha = nalpha;
}

void SPRITE::set_image(const char* image_name) {
    if (!image_name || std::strncmp(image, image_name, sizeof image - 1) == 0) return;
    copy_text(image, image_name);
    changed = 1;
    redraw = 1;
}

void SPRITE::set_mask(const char* mask_name) {
    copy_text(mask, mask_name ? mask_name : "");
}

int SPRITE::update() {
    if (angle != last_angle) {
        last_angle = angle;
        redraw = changed = 1;
    }
    if (touched != last_touched) {
        last_touched = touched;
        redraw = changed = 1;
    }
    if (alpha != last_alpha) {
        last_alpha = alpha;
        redraw = changed = 1;
    }
    // The integer copies of the geometry follow the floats.
    const auto follow = [this](int& whole, float v) {
        if (static_cast<float>(whole) == v) return;
        whole = saturating_int(v);
        changed = redraw = 1;
    };
    follow(ih, h);
    follow(iw, w);
    follow(ix, x);
    follow(iy, y);
    if (std::strcmp(shown_image, image) != 0) {
        copy_text(shown_image, image);
        changed = redraw = 1;
    }
    IMAGE_BANK& bank = image_bank();
    int slot = bank.find(image);
    if (slot >= 0) {
        w = static_cast<float>(bank.widths[slot]);
        h = static_cast<float>(bank.heights[slot]);
    }
    return 0;
}

void SPRITE::blit() {
    redraw = 0;
    ix = saturating_int(x);
    iy = saturating_int(y);
    IMAGE_BANK& bank = image_bank();
    const int slot = bank.find(image);
    if (slot >= 0) {
        w = static_cast<float>(bank.widths[slot]);
        h = static_cast<float>(bank.heights[slot]);
    }
    const float cx = ix + w / 2, cy = iy + h / 2;
    const float a = w / 2 * zoom, b = h / 2 * zoom;
    const float rz = static_cast<float>(angle) + 90.0f;

    if (slot < 0) {
        // Nothing valid to bind: neither the image nor its mask is drawn, so a
        // missing image leaves no black hole where its mask would have cut.
        std::printf("[%s] blit image not found \n", image);
        return;
    }
    if (has_mask()) {
        const int mask_slot = bank.find(mask);
        if (mask_slot >= 0 && gl_ready()) {
            // The mask darkens what is behind the opaque part (dst * mask), then the
            // image, black where it is transparent, is added on top (dst + image).
            glDisable(GL_DEPTH_TEST);
            glBlendFunc(GL_DST_COLOR, GL_ZERO);
            glEnable(GL_BLEND);
            draw_textured_quad(static_cast<unsigned>(mask_slot), cx, cy, z, 0, 0, rz, a, b, 0, 0,
                               255);
            glBlendFunc(GL_ONE, GL_ONE);
        }
        draw_textured_quad(static_cast<unsigned>(slot), cx, cy, z, 0, 0, rz, a, b, additive,
                           subtractive, 255);
        if (mask_slot >= 0 && gl_ready()) {
            glDisable(GL_BLEND);
            glEnable(GL_DEPTH_TEST);
        }
        return;
    }
    draw_textured_quad(static_cast<unsigned>(slot), cx, cy, z, 0, 0, rz, a, b, additive,
                       subtractive, alpha);
}

bool SPRITE::contains(int px, int py) const {
    return rect_contains(saturating_int(x), saturating_int(y), saturating_int(w * zoom),
                         saturating_int(h * zoom), px, py);
}

bool SPRITE::contains(const BASE& probe) const {
    return contains(saturating_int(probe.x), saturating_int(probe.y));
}

void SPRITE::dump() const {
    std::printf("SPRITE:\n-------\n");
    std::printf("NAME[%16s]  SPR_NAME[%16s]  MASK_NAME [%16s] XYWH[%3d-%3d-%3d-%3d] Zoom=%4.4f "
                "Angle=%4.4f\n",
                name, image, mask, saturating_int(x), saturating_int(y), saturating_int(w),
                saturating_int(h), zoom, static_cast<double>(angle));
    std::printf("Is_Key=%1d Key=%08x Additive=%1d Substractive=%1d Alpha=%3d\n", is_key,
                static_cast<unsigned>(key), additive, subtractive, alpha);
    std::printf("--------------------------------------------------------------\n");
}

// ---------------------------------------------------------------- primitives

void draw_textured_quad(unsigned texture, float cx, float cy, float z, float rx, float ry, float rz,
                        float a, float b, int additive, int subtractive, int alpha) {
    if (!gl_ready()) return;
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(cx - static_cast<float>(view_scroll_x),
                 cy + static_cast<float>(sprite_draw_shift) - static_cast<float>(view_scroll_y), z);
    glRotatef(rx, 1.0f, 0.0f, 0.0f);
    glRotatef(ry, 0.0f, 1.0f, 0.0f);
    glRotatef(rz, 0.0f, 0.0f, 1.0f);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture);

    const bool translucent = alpha != 255;
    // Later lines override the blend function of earlier ones.
    if (translucent) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
    }
    if (additive) {
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        glBlendFunc(GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR);
        glEnable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
    }
    if (subtractive) {
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        glEnable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
    }
    if (translucent) glColor4ub(255, 255, 255, static_cast<GLubyte>(alpha < 0 ? 0 : alpha));

    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(-b, +a, 0);
    glTexCoord2f(0, 1);
    glVertex3f(+b, +a, 0);
    glTexCoord2f(1, 1);
    glVertex3f(+b, -a, 0);
    glTexCoord2f(1, 0);
    glVertex3f(-b, -a, 0);
    glEnd();

    for (bool applied : {additive != 0, subtractive != 0, translucent}) {
        if (!applied) continue;
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
    }
    glColor4ub(255, 255, 255, 255);
    glPopMatrix();
    glDisable(GL_TEXTURE_2D);
}

void fill_rect(int x, int y, int w, int h, std::uint32_t colour) {
    if (!gl_ready()) return;
    const unsigned alpha = colour >> 24;
    const bool translucent = alpha != 255;
    if (translucent) {
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glDisable(GL_DEPTH_TEST);
    }
    glColor4ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
               static_cast<GLubyte>(colour), static_cast<GLubyte>(alpha));
    const int left = x - view_scroll_x, top = y + fill_draw_shift - view_scroll_y;
    glRecti(left, top, left + w, top + h);
    glColor4ub(255, 255, 255, 255);
    if (translucent) {
        glDisable(GL_BLEND);
        glEnable(GL_DEPTH_TEST);
    }
}

} // namespace tmod
