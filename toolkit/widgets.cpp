#include "toolkit/widgets.hpp"

#include "toolkit/font_engine.hpp"
#include "toolkit/frame_state.hpp"
#include "util/num.hpp"
#include "util/text.hpp"

#include <GL/gl.h>

#include <cstdio>
#include <cstring>

namespace tmod {
namespace {

// Placeholder image every widget starts from before its own image is set.
constexpr const char* placeholder_image = "IMG_001";

bool has_text(const GUI_MESSAGE& m, const char* word) {
    return std::strstr(m.text, word);
}

// The commands both BUTTON and SLIDER understand; each test is made on every text.
void apply_touch(SPRITE& s, const GUI_MESSAGE& m) {
    if (has_text(m, "TOUCH_IN")) s.touched = 1;
    if (has_text(m, "TOUCH_OUT")) s.touched = 0;
}

} // namespace

// ---------------------------------------------------------------- GUI_MESSAGE

GUI_MESSAGE GUI_MESSAGE::command(const char* text, SPRITE* target) {
    GUI_MESSAGE m;
    m.kind = 0;
    copy_text(m.text, text ? text : "");
    m.target = target;
    return m;
}

GUI_MESSAGE GUI_MESSAGE::input(const SDL_Event& event, SPRITE* target) {
    GUI_MESSAGE m;
    m.kind = 1;
    m.event = event;
    m.target = target;
    return m;
}

GUI_MESSAGE GUI_MESSAGE::mouse(int type, int button, SPRITE* target) {
    SDL_Event e{};
    e.type = static_cast<Uint8>(type);
    e.button.type = static_cast<Uint8>(type);
    e.button.button = static_cast<Uint8>(button);
    e.button.state = type == event_button_down ? SDL_PRESSED : SDL_RELEASED;
    return input(e, target);
}

// ---------------------------------------------------------------- BUTTON

BUTTON::BUTTON(const char* button_name, const char* off, const char* touched_image, const char* on,
               const char* mask_name)
    : SPRITE(placeholder_image, 100, 100, 0, 0, 0, 1.0f, 0, 0) {
    state = 0;
    set_name(button_name);
    copy_text(image_touched, touched_image ? touched_image : "0");
    copy_text(image_off, off ? off : "");
    copy_text(image_on, on ? on : "");
    copy_text(image, image_on);
    set_image(image_off);
    if (mask_name) {
        set_mask(mask_name);
    } else {
        const char* last = std::strrchr(image_off, '_');
        if (last && last != image_off) {
            std::string derived(image_off, static_cast<std::size_t>(last - image_off) + 1);
            derived += "MASK";
            set_mask(derived.c_str());
        }
    }
    BUTTON::update();
}

int BUTTON::update() {
    while (count() > 0) {
        const GUI_MESSAGE& m = get(count() - 1);
        if (m.kind == 0) {
            apply_touch(*this, m);
        } else if (m.event_type() == event_button_down) {
            pressed = 1;
        } else if (m.event_type() == event_button_up) {
            pressed = 0;
            state = state == 0 ? 1 : 0;
        }
        pop();
    }
    set_image(state == 0 ? image_off : image_on);
    if (touched && image_touched[0] != '0') set_image(image_touched);
    return SPRITE::update();
}

void BUTTON::dump() const {
    std::printf("BUTTON : ");
    SPRITE::dump();
    std::printf("\n\t STATE[%d]\r\n", state);
}

// ---------------------------------------------------------------- SLIDER

SLIDER::SLIDER(const char* slider_name, const char* knob_image)
    : SPRITE(placeholder_image, 100, 100, 0, 0, 0, 1.0f, 0, 0) {
    set_name(slider_name);
    set_image(knob_image);
    std::string m = knob_image ? knob_image : "";
    m += "_MASK";
    set_mask(m.c_str());
    SLIDER::update();
}

int SLIDER::update() {
    while (count() > 0) {
        const GUI_MESSAGE& m = get(count() - 1);
        if (m.kind == 0) {
            apply_touch(*this, m);
            // Unbounded by design, but kept from wrapping around the int range.
            if (has_text(m, "SLD_DOWN") && angle < 2147483647) ++angle;
            if (has_text(m, "SLD_UP") && angle > -2147483647) --angle;
        } else if (m.event_type() == event_button_down) {
            pressed = 1;
        } else if (m.event_type() == event_button_up) {
            pressed = 0;
        }
        pop();
    }
    return SPRITE::update();
}

void SLIDER::dump() const {
    std::printf("SLIDER : ");
    SPRITE::dump();
    std::printf("\n\t STATE[%d]\r\n", angle);
}

// ---------------------------------------------------------------- LABEL

LABEL::LABEL(const char* text, int nx, int ny, int, int, int nfont, int nsize,
             std::uint32_t ncolour)
    : SPRITE(placeholder_image, 100, 100, 0, 0, 0, 1.0f, 0, 0) {
    text_transform = 1;
    redraw = 1;
    last_colour = 0;
    colour2 = 0;
    colour = ncolour;
    size = nsize < 24 ? nsize : 10;
    font = nfont >= 0 && nfont <= 9 ? nfont : 0;
    copy_text(caption, text ? text : "");
    shown_caption[0] = '\0';
    set_position(static_cast<float>(nx), 747.0f - static_cast<float>(ny), 0);
}

void LABEL::set_caption(const char* text) {
    copy_text(caption, text ? text : "");
}

void LABEL::fit_box() {
    w = static_cast<float>(static_cast<unsigned>(std::strlen(caption)) *
                           static_cast<unsigned>(size < 0 ? 0 : size) / 2u);
    h = static_cast<float>(size);
}

int LABEL::update() {
    SPRITE::update();
    if (std::strcmp(caption, shown_caption) != 0 || colour != last_colour) {
        copy_text(shown_caption, caption);
        last_colour = colour;
        redraw = 1;
    }
    // The box is the text's, never the placeholder image's: hit tests on labels
    // (the load dialog's file names) depend on it.
    fit_box();
    return 0;
}

void LABEL::draw_text() {
    char text[caption_size];
    copy_text(text, caption);
    if (gl_ready()) {
        glColor3ub(static_cast<GLubyte>(colour >> 16), static_cast<GLubyte>(colour >> 8),
                   static_cast<GLubyte>(colour));
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        const FONT& f = font_table().get_or_first(font);
        if (text_transform == 0) {
            print(f, x, y, "%s", text);
        } else {
            glRotatef(static_cast<float>(angle), 0.0f, 0.0f, 1.0f);
            const float scale = static_cast<float>(size) / 36.0f;
            glScalef(scale, scale, 1.0f);
            print(f, x, static_cast<float>(window_height - 21) - y, "%s", text);
        }
        glPopMatrix();
        glColor3ub(255, 255, 255);
    }
    redraw = 1;
}

void LABEL::dump() const {
    std::printf("LABEL:\n-------\n");
    std::printf("NAME[%16s] XYWH[%3d-%3d-%3d-%3d] Zoom=%4.4f Angle=%4.4f\n", name,
                saturating_int(x), saturating_int(y), saturating_int(w), saturating_int(h), zoom,
                static_cast<double>(angle));
    std::printf("Font Nr=%3d Size=%3d Col=%08x Col2=%08x\n", font, size,
                static_cast<unsigned>(colour), static_cast<unsigned>(colour2));
    std::printf("CAPTION [%s]\n,", caption);
    std::printf("--------------------------------------------------------------\n");
}

} // namespace tmod
