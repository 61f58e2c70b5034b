#include "toolkit/panel.hpp"

#include "toolkit/damage.hpp"

#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"
#include "util/messages.hpp"
#include "util/num.hpp"
#include "util/text.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tmod {
namespace {

bool name_has(const char* text, const char* word) {
    return std::strstr(text, word) != nullptr;
}

// Moves an element by the panel position for one drawing and puts it back.
class moved_by {
  public:
    moved_by(SPRITE& e, float dx, float dy) : e_(e), x_(e.x), y_(e.y) {
        e.x += dx;
        e.y += dy;
    }
    ~moved_by() {
        e_.x = x_;
        e_.y = y_;
    }
    moved_by(const moved_by&) = delete;
    moved_by& operator=(const moved_by&) = delete;

  private:
    SPRITE& e_;
    float x_, y_;
};

} // namespace

const char* strip_panel_prefix(const char* n) {
    if (n[0] && n[1] && n[2] == '_') return n + 3;
    if (n[0] && n[1] == '_') return n + 2;
    return n;
}

OBJET::OBJET(int nx, int ny, const char* name_of_panel)
    : SPRITE("IMG_001", 100, 100, 0, 0, 0, 1.0f, 0, 0) {
    // A nameless panel is refused by its empty name, which the caller checks.
    if (!name_of_panel) {
        say("Cannot Create OBJET withouth a name\n");
        name_of_panel = "";
    }
    display_mode = front;
    elements = &elements_front;
    reduced_w = reduced_h = front_w = front_h = back_w = back_h = 0;
    width = w;
    height = h;
    angle = 0;
    ix = nx;
    iy = ny;
    iw = ih = 0;
    copy_text(panel_name, name_of_panel);
    x = static_cast<float>(nx);
    y = static_cast<float>(ny);
}

OBJET::~OBJET() {
    messages.clear();
}

void OBJET::need_faces() const {
    if (faces_built_) return;
    // Reading faces is a cache filled on demand: it changes no state the
    // caller asked about, only makes it available.
    auto& self = const_cast<OBJET&>(*this);
    self.faces_built_ = true;
    const float at_x = x, at_y = y;
    self.x = self.y = 0;
    self.build_faces();
    self.x = at_x, self.y = at_y;
}

OBJET::face_sizes OBJET::sizes() const {
    return {front_w, front_h, back_w, back_h, width, height, w, h};
}

void OBJET::take_sizes(const face_sizes& s) {
    front_w = s.front_w, front_h = s.front_h, back_w = s.back_w, back_h = s.back_h;
    width = s.width, height = s.height, w = s.w, h = s.h;
}

SPRITE* OBJET::append(element_ptr element) {
    need_faces();
    elements->push_back(std::move(element));
    return elements->back().get();
}

SPRITE* OBJET::find_in(const char* wanted, bool buttons_only) const {
    if (!wanted) return nullptr;
    need_faces();
    for (auto it = elements->rbegin(); it != elements->rend(); ++it) {
        const char* full = (*it)->name;
        const char* local;
        if (buttons_only) {
            if (!name_has(full, "BUTTON")) continue;
            const std::size_t n = std::strlen(full);
            local = full + (n > 2 && full[2] == '_' ? 3 : (n >= 2 ? 2 : n));
        } else {
            local = strip_panel_prefix(full);
        }
        if (local[0] == wanted[0] && std::strcmp(local, wanted) == 0) return it->get();
    }
    return nullptr;
}

SPRITE* OBJET::find_element(const char* element_name) const {
    return find_in(element_name, false);
}

SPRITE* OBJET::find_button(const char* element_name) const {
    return find_in(element_name, true);
}

int OBJET::element_depth(const SPRITE* element) const {
    int passed = 0;
    for (auto it = elements->rbegin(); it != elements->rend(); ++it, ++passed)
        if (it->get() == element) return name_has(element->name, "BACK") ? 0 : passed;
    return 0;
}

SPRITE* OBJET::element_at_pointer() const {
    // Faces are not read for a panel the pointer is nowhere near.
    if (!faces_built_ && !contains_point(pointer_x, pointer_y)) return nullptr;
    need_faces();
    for (auto it = elements->rbegin(); it != elements->rend(); ++it) {
        const SPRITE& e = **it;
        if (rect_contains(saturating_int(e.x + x), saturating_int(e.y + y),
                          saturating_int(e.w * e.zoom), saturating_int(e.h * e.zoom), pointer_x,
                          pointer_y))
            return it->get();
    }
    return nullptr;
}

bool OBJET::owns(const SPRITE* element) const {
    for (const element_list* list : {&elements_front, &elements_back, &elements_reduced})
        for (const element_ptr& e : *list)
            if (e.get() == element) return true;
    return false;
}

void OBJET::mark_all(int flag) {
    for (element_ptr& e : *elements) e->redraw = e->changed = flag;
}

void OBJET::fit_to_background() {
    if (!faces_built_) return; // the sizes given stand
    int fw = saturating_int(width), fh = saturating_int(height);
    if (const SPRITE* fond = find_element("IMAGE_FOND")) {
        const IMAGE_BANK& bank = image_bank();
        const int slot = bank.find(fond->image);
        if (slot >= 0) {
            fw = bank.widths[slot];
            fh = bank.heights[slot];
        } else {
            // The layout's own size serves until the image is there.
            std::printf("No image IMAGE_FOND valid\n");
        }
    }
    if (display_mode == reduced) {
        fw /= 2;
        fh /= 2;
    }
    w = static_cast<float>(fw);
    h = static_cast<float>(fh);
}

void OBJET::set_display_mode(int mode) {
    need_faces();
    if (mode == 0) mode = display_mode == front ? reduced : front;
    switch (mode) {
    case front:
        display_mode = front;
        elements = &elements_front;
        width = static_cast<float>(front_w);
        height = static_cast<float>(front_h);
        break;
    case reduced:
        display_mode = reduced;
        elements = &elements_reduced;
        width = static_cast<float>(reduced_w);
        height = static_cast<float>(reduced_h);
        break;
    case back:
        display_mode = back;
        elements = &elements_back;
        width = static_cast<float>(front_w);
        height = static_cast<float>(front_h);
        break;
    default:
        break;
    }
    fit_to_background();
    mark_all(1);
    draw(0, 1);
    redraw = changed = 1;
}

void OBJET::draw_fond_mask() {
    SPRITE* fond_mask = find_element("FOND_MASK");
    if (!fond_mask) return;
    const float keep_zoom = fond_mask->zoom;
    float dx = x, dy = y;
    if (display_mode == reduced) {
        fond_mask->zoom = 0.5f;
        dx -= fond_mask->w / 4;
        dy -= fond_mask->h / 4;
    }
    {
        moved_by at_panel(*fond_mask, dx, dy);
        fond_mask->blit();
    }
    fond_mask->zoom = keep_zoom;
}

void OBJET::draw(int, int with_background) {
    need_faces();
    if (w <= 0) fit_to_background();
    if (h <= 0) fit_to_background();
    const bool is_reduced = display_mode == reduced;

    if (with_background) {
        SPRITE* fond = find_element("IMAGE_FOND");
        if (!fond) {
            const std::uint32_t a = static_cast<std::uint32_t>(alpha) & 0xFF;
            fill_rect(saturating_int(x), saturating_int(y), saturating_int(w), saturating_int(h),
                      (colour & 0x00FFFFFF) | (a << 24));
        } else {
            float dx = x, dy = y;
            if (is_reduced) {
                fond->zoom = 0.5f;
                dx -= fond->w / 4;
                dy -= fond->h / 4;
            }
            {
                moved_by at_panel(*fond, dx, dy);
                fond->blit();
            }
            width = fond->w;
            height = fond->h;
            if (is_reduced) fond->zoom = 1.0f;
        }
        // The background was just painted over everything: the whole face has to
        // be drawn again, not only the elements that changed.
        mark_all(1);
    }

    bool drawn = false;
    for (element_ptr& element : *elements) {
        SPRITE& e = *element;
        e.update();
        // Outside the region a frame draws, nothing of it would show.
        if (e.redraw == 1 && !is_reduced && reaches_drawing(e, *this)) {
            if (auto* label = dynamic_cast<LABEL*>(&e)) {
                moved_by on_screen(e, x - static_cast<float>(view_scroll_x),
                                   y - static_cast<float>(view_scroll_y));
                label->draw_text();
                drawn = true;
            } else if (!name_has(e.image, "FOND") && !name_has(e.image, "SHADOW")) {
                moved_by at_panel(e, x, y);
                e.blit();
                drawn = true;
            }
        }
        last_drawn = &e;
    }
    if (drawn) redraw = 1;

    const int px = saturating_int(x), py = saturating_int(y);
    const int pw = saturating_int(w), ph = saturating_int(h);
    const std::uint32_t black = 0xFF000000;
    fill_rect(px, py, pw, 2, black);
    fill_rect(px, py, 2, ph, black);
    fill_rect(px + pw - 2, py, 2, ph, black);
    fill_rect(px, py + ph - 2, pw, 2, black);
}

int OBJET::update() {
    touched = 0;
    // No message can name an element of faces not read yet.
    if (!faces_built_) {
        messages.clear();
        return 0;
    }
    const bool had_messages = !messages.empty();
    while (!messages.empty()) {
        const GUI_MESSAGE m = messages.back();
        messages.pop_back();
        touched = 1;
        if (m.target) {
            // Only elements of this panel are dereferenced: a stale target is
            // reported like one that is no widget.
            MSG_RESPONDER* responder =
                owns(m.target) ? dynamic_cast<MSG_RESPONDER*>(m.target) : nullptr;
            if (!responder) {
                std::printf("Dynamic_Cast Failed \n");
                continue;
            }
            if (dynamic_cast<SLIDER*>(m.target) || dynamic_cast<BUTTON*>(m.target))
                responder->post(m);
        } else if (m.event_type() != event_user) {
            std::printf("ZZZ\n");
        }
    }
    if (had_messages) {
        for (const element_ptr& e : *elements)
            if (e->redraw) {
                draw(0, 1);
                break;
            }
    }
    // The panel's own image is a placeholder: its size is the face's, never the
    // placeholder image's.
    const float keep_w = w, keep_h = h;
    SPRITE::update();
    w = keep_w;
    h = keep_h;
    return 0;
}

bool panel_in_view(const OBJET& p, int scroll_x, int scroll_y) {
    const long long px = saturating_int(p.x), py = saturating_int(p.y);
    const long long pw = saturating_int(p.w), ph = saturating_int(p.h);
    const long long left = static_cast<long long>(scroll_x) - pw;
    const long long top = static_cast<long long>(scroll_y) - ph;
    const long long right = static_cast<long long>(scroll_x) + window_width + pw;
    const long long bottom = static_cast<long long>(scroll_y) + window_height + ph;
    return !(px + pw < left || right < px || py + ph < top || bottom < py);
}

} // namespace tmod
