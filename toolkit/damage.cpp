#include "toolkit/damage.hpp"

#include <GL/gl.h>
#include <GL/glx.h>
#include <SDL/SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "toolkit/frame_state.hpp"
#include "toolkit/panel.hpp"
#include "util/num.hpp"

namespace tmod {

namespace {
// Past this many regions, or this share of the window, one whole frame
// costs less than the regions' passes over the scene.
constexpr std::size_t most_regions = 12;
constexpr double most_area = 0.6;
// A label's text stands on a line 21 pixels below its place.
constexpr int text_drop = 21;
} // namespace

bool screen_rect::meets(const screen_rect& o) const {
    return !empty() && !o.empty() && x <= o.x + o.w && o.x <= x + w && y <= o.y + o.h &&
           o.y <= y + h;
}

screen_rect screen_rect::united(const screen_rect& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    const int left = std::min(x, o.x), top = std::min(y, o.y);
    return {left, top, std::max(x + w, o.x + o.w) - left, std::max(y + h, o.y + o.h) - top};
}

screen_rect screen_rect::clipped(int width, int height) const {
    const long long left = std::max<long long>(x, 0), top = std::max<long long>(y, 0);
    const long long right = std::min<long long>(static_cast<long long>(x) + w, width);
    const long long bottom = std::min<long long>(static_cast<long long>(y) + h, height);
    if (right <= left || bottom <= top) return {};
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
}

void damage::add(screen_rect r) {
    if (whole_) return;
    r = r.clipped(width_, height_);
    if (r.empty()) return;
    // Whatever the new one meets joins it, until it meets none.
    for (bool merged = true; merged;) {
        merged = false;
        for (auto it = rects_.begin(); it != rects_.end(); ++it)
            if (it->meets(r)) {
                r = r.united(*it);
                rects_.erase(it);
                merged = true;
                break;
            }
    }
    rects_.push_back(r);
    long long area = 0;
    for (const screen_rect& d : rects_) area += static_cast<long long>(d.w) * d.h;
    if (rects_.size() > most_regions ||
        static_cast<double>(area) > most_area * static_cast<double>(width_) * height_)
        add_all();
}

std::vector<screen_rect> damage::regions() const {
    if (whole_) return {{0, 0, width_, height_}};
    return rects_;
}

void look_hash::bytes(const void* p, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
}

void look_hash::text(const char* s) {
    bytes(s, std::strlen(s) + 1);
}

std::uint64_t panel_frame_look(const OBJET& p) {
    look_hash k;
    k.add(p.x), k.add(p.y), k.add(p.w), k.add(p.h);
    k.add(p.display_mode), k.add(p.alpha), k.add(p.colour);
    k.add(p.elements), k.add(p.elements->size());
    k.add(p.own_look());
    return k.h;
}

std::uint64_t element_look(const SPRITE& e) {
    look_hash k;
    k.text(e.image), k.text(e.mask);
    k.add(e.x), k.add(e.y), k.add(e.w), k.add(e.h), k.add(e.zoom), k.add(e.angle);
    k.add(e.alpha), k.add(e.additive), k.add(e.subtractive), k.add(e.text_transform);
    if (const auto* label = dynamic_cast<const LABEL*>(&e)) {
        k.text(label->caption);
        k.add(label->colour), k.add(label->font), k.add(label->size);
    }
    return k.h;
}

screen_rect element_extent(const SPRITE& e, double px, double py) {
    const double ex = px + e.x, ey = py + e.y;
    if (const auto* label = dynamic_cast<const LABEL*>(&e)) {
        // Glyphs reach above the line by about the size, below by less.
        const double size = std::max(label->size, 1);
        const double length = static_cast<double>(std::strlen(label->caption)) * size;
        return {saturating_int(ex) - 4, saturating_int(ey + text_drop - 2 * size) - 4,
                saturating_int(length) + 12, saturating_int(3 * size) + 12};
    }
    // Any rotation about the centre stays within the half diagonal.
    const double zoom = std::fabs(static_cast<double>(e.zoom));
    const double reach = std::hypot(e.w, e.h) / 2 * zoom + 2;
    const double cx = std::floor(ex) + e.w / 2, cy = std::floor(ey) + e.h / 2 + sprite_draw_shift;
    return {saturating_int(cx - reach), saturating_int(cy - reach), saturating_int(2 * reach) + 1,
            saturating_int(2 * reach) + 1};
}

screen_rect panel_extent(const OBJET& p, int scroll_x, int scroll_y) {
    const double px = p.x - scroll_x, py = p.y - scroll_y;
    screen_rect r{saturating_int(px), saturating_int(py), saturating_int(p.w),
                  saturating_int(p.h) + sprite_draw_shift};
    for (const element_ptr& e : *p.elements) r = r.united(element_extent(*e, px, py));
    // A little room around everything for lines drawn on the edges.
    return {r.x - 2, r.y - 2, r.w + 4, r.h + 4};
}

void panels_drawn::note(OBJET& p, const OBJET* in_front, int sx, int sy, damage& d) {
    if (!panel_in_view(p, sx, sy)) return;
    p.need_faces();
    p.update();
    for (const element_ptr& e : *p.elements) e->update();
    const std::uint64_t frame = panel_frame_look(p);
    const screen_rect at = panel_extent(p, sx, sy);
    const double px = p.x - sx, py = p.y - sy;
    auto found = drawn_.find(&p);
    if (found == drawn_.end()) found = drawn_.emplace(&p, drawn_panel{}).first;
    drawn_panel& was = found->second;
    const bool fresh = was.round == 0;
    was.round = round_;
    const std::size_t n = p.elements->size();
    if (fresh || was.frame != frame || was.in_front != in_front || !(was.at == at) ||
        was.elements.size() != n) {
        d.add(was.at);
        d.add(at);
        was.elements.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            const SPRITE& e = *(*p.elements)[i];
            was.elements[i] = {element_look(e), element_extent(e, px, py)};
        }
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            const SPRITE& e = *(*p.elements)[i];
            const std::uint64_t look = element_look(e);
            if (look == was.elements[i].first) continue;
            const screen_rect now = element_extent(e, px, py);
            d.add(was.elements[i].second);
            d.add(now);
            was.elements[i] = {look, now};
        }
    }
    was.frame = frame, was.in_front = in_front, was.at = at;
}

void panels_drawn::drop_unseen(damage& d) {
    for (auto it = drawn_.begin(); it != drawn_.end();)
        if (it->second.round != round_) {
            d.add(it->second.at);
            it = drawn_.erase(it);
        } else {
            ++it;
        }
}

void panels_drawn::draw_one(OBJET& p, const screen_rect& region) {
    const auto found = drawn_.find(&p);
    if (found == drawn_.end() || found->second.round != round_ || !found->second.at.meets(region))
        return;
    p.draw(0, 1);
}

kept_frame::~kept_frame() {
    if (texture_ && gl_ready()) glDeleteTextures(1, &texture_);
}

void kept_frame::choose() {
    chosen_ = true;
    const char* way = std::getenv("TM_FRAME_KEEPING");
    if (way && std::strcmp(way, "texture") == 0) return;
    Display* dpy = glXGetCurrentDisplay();
    if (!dpy) return;
    const char* ext = glXQueryExtensionsString(dpy, DefaultScreen(dpy));
    if (!ext || !std::strstr(ext, "GLX_MESA_copy_sub_buffer")) return;
    copy_sub_ = glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA"));
}

bool kept_frame::begin() {
    if (!gl_ready()) return false;
    if (!chosen_) choose();
    if (copy_sub_) return valid_;
    return restore();
}

void kept_frame::end(const std::vector<screen_rect>& regions) {
    if (!gl_ready()) return;
    if (!chosen_) choose();
    if (!copy_sub_) {
        keep(regions);
        SDL_GL_SwapBuffers();
        return;
    }
    const int w = window_width, h = window_height;
    Display* dpy = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    const auto copy =
        reinterpret_cast<void (*)(Display*, GLXDrawable, int, int, int, int)>(copy_sub_);
    bool whole = false;
    for (const screen_rect& r0 : regions) {
        const screen_rect r = r0.clipped(w, h);
        if (r.empty()) continue;
        whole = whole || (r.w == w && r.h == h);
        copy(dpy, window, r.x, h - r.y - r.h, r.w, r.h);
    }
    XFlush(dpy); // shown now, not when the event queue is next read
    valid_ = valid_ || whole;
}

bool kept_frame::show_again() {
    if (!begin()) return false;
    end({{0, 0, window_width, window_height}});
    return true;
}

bool kept_frame::restore() {
    if (!valid_ || !texture_) return false;
    const int w = window_width, h = window_height;
    glPushAttrib(GL_ENABLE_BIT | GL_TEXTURE_BIT | GL_CURRENT_BIT);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, w, 0, h, -1, 1); // GL's own frame: rows from the bottom, as the copy has them
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    const float s = static_cast<float>(w) / tex_w_, t = static_cast<float>(h) / tex_h_;
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0), glVertex2i(0, 0);
    glTexCoord2f(s, 0), glVertex2i(w, 0);
    glTexCoord2f(s, t), glVertex2i(w, h);
    glTexCoord2f(0, t), glVertex2i(0, h);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
    return true;
}

void kept_frame::keep(const std::vector<screen_rect>& regions) {
    const int w = window_width, h = window_height;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    if (!texture_ || tex_w_ < w || tex_h_ < h) {
        if (!texture_) glGenTextures(1, &texture_);
        tex_w_ = tex_h_ = 1;
        while (tex_w_ < w) tex_w_ *= 2; // powers of two, as OpenGL 1.1 wants
        while (tex_h_ < h) tex_h_ *= 2;
        glBindTexture(GL_TEXTURE_2D, texture_);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tex_w_, tex_h_, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        valid_ = false;
    }
    glBindTexture(GL_TEXTURE_2D, texture_);
    bool whole = false;
    for (const screen_rect& r0 : regions) {
        const screen_rect r = r0.clipped(w, h);
        if (r.empty()) continue;
        whole = whole || (r.w == w && r.h == h);
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, r.x, h - r.y - r.h, r.x, h - r.y - r.h, r.w, r.h);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    // Regions only update a copy that was whole once.
    valid_ = valid_ || whole;
}

void wait_shown() {
    if (!gl_ready()) return;
    glFinish();
    if (Display* dpy = glXGetCurrentDisplay()) XSync(dpy, False);
}

namespace {
bool clipped = false;
screen_rect clip_region;
} // namespace

bool reaches_drawing(const SPRITE& e, const OBJET& p) {
    return !clipped ||
           element_extent(e, p.x - view_scroll_x, p.y - view_scroll_y).meets(clip_region);
}

void clip_to(const screen_rect& r) {
    if (!gl_ready()) return;
    clipped = true;
    clip_region = r;
    glEnable(GL_SCISSOR_TEST);
    glScissor(r.x, window_height - r.y - r.h, r.w, r.h);
}

void clip_shut() {
    clip_to({});
}

void clip_none() {
    if (!gl_ready()) return;
    clipped = false;
    glDisable(GL_SCISSOR_TEST);
}

} // namespace tmod
