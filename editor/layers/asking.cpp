#include "editor/layers/asking.hpp"

#include <SDL/SDL.h>
#include <cctype>

#include "editor/layers/host.hpp"
#include "toolkit/scene_objects.hpp"

namespace tmod {

namespace {
constexpr int font_mono = 1;
constexpr int text_size = 14;
// Advance of a mono glyph at that size: glyphs are built 26 pixels wide
// and drawn scaled by size / 36.
constexpr float glyph_advance = 26.0f * text_size / 36.0f;
constexpr int box_top = 290, box_height = 96, box_left = 60;

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool ends(const SDL_Event& e, int& result) {
    // Keys and buttons stop here; motion and the rest go on to the panels.
    const bool taken = e.type == SDL_KEYDOWN || e.type == SDL_KEYUP ||
                       e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP;
    if (taken) result |= pass_redraw;
    return taken;
}
} // namespace

void asking_layer::find_damage(damage& d, int result) {
    // Across the whole window: a long line runs out of the box.
    if (result != 0 || changed_) d.add({0, box_top - 20, d.width(), box_height + 40});
    changed_ = false;
}

void asking_layer::draw_box(const std::string& first, const std::string& second,
                            const std::string& third) const {
    const view& v = ed_.view();
    // Filled rectangles land lower than given. Colours are 0xAARRGGBB.
    const int top = v.y() + box_top - fill_draw_shift;
    fill_rect(v.x() + box_left, top, v.width() - 2 * box_left, box_height, 0xF0202830u);
    fill_rect(v.x() + box_left, top, v.width() - 2 * box_left, 3, 0xFFFF8000u);
    screen_text(0, text_size, box_left + 16, box_top + 10, 0xFFFFFFu, first.c_str());
    screen_text(font_mono, text_size, box_left + 16, box_top + 38, 0xFFFF40u, second.c_str());
    screen_text(0, 12, box_left + 16, box_top + 66, 0xFF6060u, third.c_str());
}

prompt::prompt(editor_host& e, std::string question, std::string text, acceptor accept,
               std::function<void()> cancelled)
    : asking_layer(e), question_(std::move(question)), text_(std::move(text)),
      cursor_(text_.size()), accept_(std::move(accept)), cancelled_(std::move(cancelled)) {}

std::size_t prompt::previous_character(std::size_t at) const {
    do --at;
    while (at > 0 && continuation(text_[at]));
    return at;
}

std::size_t prompt::next_character(std::size_t at) const {
    do ++at;
    while (at < text_.size() && continuation(text_[at]));
    return at;
}

void prompt::enter(const std::string& text) {
    refused_ = accept_(text);
    changed_ = true;
    if (refused_.empty()) closed = true;
}

void prompt::answer(const std::string& line) {
    text_ = line;
    cursor_ = text_.size();
    enter(text_);
}

bool prompt::handle(SDL_Event& e, int& result) {
    if (closed || e.type != SDL_KEYDOWN) return ends(e, result);
    result |= pass_redraw;
    switch (e.key.keysym.sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        enter(text_);
        return true;
    case SDLK_ESCAPE:
        closed = true;
        if (cancelled_) cancelled_();
        return true;
    case SDLK_BACKSPACE:
        // A whole character, however many bytes it takes.
        if (cursor_ > 0) {
            const std::size_t from = previous_character(cursor_);
            text_.erase(from, cursor_ - from);
            cursor_ = from;
        }
        return true;
    case SDLK_DELETE:
        if (cursor_ < text_.size()) text_.erase(cursor_, next_character(cursor_) - cursor_);
        return true;
    case SDLK_LEFT:
        if (cursor_ > 0) cursor_ = previous_character(cursor_);
        return true;
    case SDLK_RIGHT:
        if (cursor_ < text_.size()) cursor_ = next_character(cursor_);
        return true;
    case SDLK_HOME:
        cursor_ = 0;
        return true;
    case SDLK_END:
        cursor_ = text_.size();
        return true;
    default:
        break;
    }
    // Ctrl and Alt chords are commands, not text.
    if (e.key.keysym.mod & (KMOD_CTRL | KMOD_ALT)) return true;
    const unsigned u = e.key.keysym.unicode;
    if (u < 32 || u == 127 || text_.size() > 200) return true;
    // The typed character as UTF-8.
    std::string bytes;
    if (u < 0x80) {
        bytes += static_cast<char>(u);
    } else if (u < 0x800) {
        bytes += static_cast<char>(0xC0 | (u >> 6));
        bytes += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        bytes += static_cast<char>(0xE0 | (u >> 12));
        bytes += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (u & 0x3F));
    }
    text_.insert(cursor_, bytes);
    cursor_ += bytes.size();
    return true;
}

void prompt::draw(const screen_rect&) {
    draw_box(question_ + "   (Enter accepts, Esc cancels)", text_, refused_);
    // The cursor: a bar before the character it stands on (glyphs of a
    // non-ASCII character are one "?" each byte-run).
    std::size_t shown = 0;
    for (std::size_t i = 0; i < cursor_; ++i)
        if (!continuation(text_[i])) ++shown;
    const float x = box_left + 16 + glyph_advance * static_cast<float>(shown) - 3;
    screen_text(font_mono, text_size, x, box_top + 38, 0xFF8000u, "|");
}

question::question(editor_host& e, std::string text, std::vector<choice> choices,
                   std::function<void()> cancelled)
    : asking_layer(e), text_(std::move(text)), choices_(std::move(choices)),
      cancelled_(std::move(cancelled)) {}

bool question::choose(char key) {
    for (const choice& c : choices_)
        if (c.key == key) {
            closed = true;
            c.act();
            return true;
        }
    return false;
}

void question::answer(const std::string& line) {
    const std::size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos) return;
    choose(static_cast<char>(std::tolower(static_cast<unsigned char>(line[at]))));
}

bool question::handle(SDL_Event& e, int& result) {
    if (closed || e.type != SDL_KEYDOWN) return ends(e, result);
    result |= pass_redraw;
    const int sym = e.key.keysym.sym;
    if (sym == SDLK_ESCAPE) {
        closed = true;
        if (cancelled_) cancelled_();
    } else if (sym >= SDLK_a && sym <= SDLK_z && !(e.key.keysym.mod & (KMOD_CTRL | KMOD_ALT))) {
        choose(static_cast<char>('a' + (sym - SDLK_a)));
    }
    return true;
}

void question::draw(const screen_rect&) {
    draw_box(text_, "", "");
}

} // namespace tmod
