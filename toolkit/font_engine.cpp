#include "toolkit/font_engine.hpp"

#include "toolkit/frame_state.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
#include "util/word_scanner.hpp"

#include <GL/glu.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tmod {
namespace {

// Releases FreeType objects on every path, the throwing ones included.
struct freetype_session {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ~freetype_session() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

void make_glyph(FT_Face face, int code, GLuint list_base, const GLuint* textures) {
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, static_cast<FT_ULong>(code)), FT_LOAD_DEFAULT))
        throw std::runtime_error("FT_Load_Glyph failed");
    FT_Glyph glyph;
    if (FT_Get_Glyph(face->glyph, &glyph)) throw std::runtime_error("FT_Get_Glyph failed");
    FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1);
    // A glyph that could not be rendered is kept as an empty one with its advance.
    const bool rendered = glyph->format == FT_GLYPH_FORMAT_BITMAP;
    const FT_BitmapGlyph bitmap_glyph = reinterpret_cast<FT_BitmapGlyph>(glyph);
    const FT_Bitmap empty_bitmap{};
    const FT_Bitmap& bitmap = rendered ? bitmap_glyph->bitmap : empty_bitmap;
    const int left = rendered ? bitmap_glyph->left : 0, top = rendered ? bitmap_glyph->top : 0;
    const int width = static_cast<int>(bitmap.width), rows = static_cast<int>(bitmap.rows);
    const int stride = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    const int tex_w = glyph_texture_side(width), tex_h = glyph_texture_side(rows);

    // Luminance and alpha both carry the coverage.
    std::vector<GLubyte> texels(static_cast<std::size_t>(2) * tex_w * tex_h, 0);
    for (int j = 0; j < rows; ++j)
        for (int i = 0; i < width; ++i) {
            // The stride FreeType wrote; for 8-bit coverage it is the width.
            const GLubyte v = bitmap.buffer[j * stride + i];
            texels[2 * (i + j * tex_w)] = v;
            texels[2 * (i + j * tex_w) + 1] = v;
        }
    glBindTexture(GL_TEXTURE_2D, textures[code]);
    // Labels draw these 32-pixel glyphs at a third of their size: filtered
    // mipmaps keep small text whole where plain linear filtering skips texels.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, tex_w, tex_h, GL_LUMINANCE_ALPHA, GL_UNSIGNED_BYTE,
                      texels.data());

    const float tx = static_cast<float>(width) / static_cast<float>(tex_w);
    const float ty = static_cast<float>(rows) / static_cast<float>(tex_h);
    glNewList(list_base + static_cast<GLuint>(code), GL_COMPILE);
    glBindTexture(GL_TEXTURE_2D, textures[code]);
    glPushMatrix();
    glTranslatef(static_cast<float>(left), 0, 0);
    glTranslatef(0, static_cast<float>(top - rows), 0);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(0, static_cast<float>(rows));
    glTexCoord2f(0, ty);
    glVertex2f(0, 0);
    glTexCoord2f(tx, ty);
    glVertex2f(static_cast<float>(width), 0);
    glTexCoord2f(tx, 0);
    glVertex2f(static_cast<float>(width), static_cast<float>(rows));
    glEnd();
    glPopMatrix();
    glTranslatef(static_cast<float>(face->glyph->advance.x >> 6), 0, 0);
    glEndList();
    FT_Done_Glyph(glyph);
}

} // namespace

int glyph_texture_side(int value) {
    int side = 1;
    while (side < value && side < (1 << 30)) side <<= 1;
    return side;
}

float line_spacing(float height) {
    return height / 0.63f;
}

// ---------------------------------------------------------------- FONT

void FONT::init(const char* file, unsigned int pixel_height) {
    release();
    height = static_cast<float>(pixel_height);
    freetype_session ft;
    if (FT_Init_FreeType(&ft.library)) throw std::runtime_error("FT_Init_FreeType failed");
    if (!file || FT_New_Face(ft.library, file, 0, &ft.face))
        throw std::runtime_error(
            "FT_New_Face failed (there is probably a problem with your font file)");
    FT_Set_Char_Size(ft.face, static_cast<FT_F26Dot6>(pixel_height) * 64,
                     static_cast<FT_F26Dot6>(pixel_height) * 64, 96, 96);
    if (!gl_ready()) return; // glyphs need the window's context

    textures.reset(new GLuint[glyph_count]);
    list_base = glGenLists(glyph_count);
    glGenTextures(glyph_count, textures.get());
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1); // rows of two-byte texels, widths from 1
    try {
        for (int code = 0; code < glyph_count; ++code)
            make_glyph(ft.face, code, list_base, textures.get());
    } catch (...) {
        glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
        release();
        throw;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void FONT::release() {
    if (list_base && gl_ready()) {
        glDeleteLists(list_base, glyph_count);
        glDeleteTextures(glyph_count, textures.get());
    }
    list_base = 0;
    textures.reset();
}

// ---------------------------------------------------------------- font list

std::vector<font_list_entry> parse_font_list(const std::string& text, std::string& problems) {
    std::vector<font_list_entry> entries;
    word_scanner in(text);
    std::string header, name, file;
    if (!in.word(header) || !in.word(header)) return entries;
    while (in.word(name) && name != "END") {
        if (!in.word(file) || file[0] == '#') break;
        if (entries.size() >= static_cast<std::size_t>(FONT_TABLE::capacity)) {
            problems += "The font table holds " + std::to_string(FONT_TABLE::capacity) +
                        " fonts: [" + name + "] and the fonts after it are not loaded\n";
            break;
        }
        entries.push_back({name, file});
    }
    return entries;
}

// ---------------------------------------------------------------- FONT_TABLE

FONT_TABLE::~FONT_TABLE() {
    release_all();
}

FONT_TABLE& font_table() {
    static FONT_TABLE table;
    return table;
}

int FONT_TABLE::add_font(const char* file) {
    if (count >= capacity) return 0;
    fonts[count].init(file, 32);
    ++count;
    return 1;
}

int FONT_TABLE::try_load_font_list(const char* path, std::string& why) {
    why.clear();
    std::string text;
    if (!read_text_file(path, text)) {
        why = std::string("Impossible d'ouvrir [") + (path ? path : "") + "]\n";
        return -1;
    }
    std::string problems;
    std::vector<font_list_entry> entries = parse_font_list(text, problems);
    std::printf("%s", problems.c_str());
    for (const font_list_entry& e : entries) {
        if (count >= capacity) break;
        copy_text(names[count], e.name);
        try {
            add_font(e.file.c_str());
        } catch (const std::runtime_error& error) {
            names[count][0] = '\0';
            why = std::string(error.what()) + " [" + e.file + "]\n";
            return -1;
        }
    }
    return 1;
}

int FONT_TABLE::load_font_list(const char* path) {
    std::string why;
    if (try_load_font_list(path, why) == 1) return 1;
    say("%s", why.c_str());
    return -1;
}

const FONT& FONT_TABLE::get(int number, int) const {
    static const FONT empty;
    if (number < 0 || number >= capacity) return empty;
    return fonts[number];
}

const FONT& FONT_TABLE::get_or_first(int number) const {
    const FONT& f = get(number, 0);
    return f.loaded() ? f : get(0, 0);
}

void FONT_TABLE::release_all() {
    for (FONT& f : fonts) f.release();
    count = 0;
}

// ---------------------------------------------------------------- drawing

void push_screen_matrix() {
    glPushAttrib(GL_TRANSFORM_BIT);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(viewport[0], viewport[2], viewport[1], viewport[3], -1.0, 1.0);
    glPopAttrib();
}

void pop_screen_matrix() {
    glPushAttrib(GL_TRANSFORM_BIT);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glPopAttrib();
}

void print(const FONT& font, float x, float y, const char* format, ...) {
    if (!gl_ready() || !font.loaded()) return;
    char text[256] = {};
    if (format) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(text, sizeof text, format, args);
        va_end(args);
    }
    // Codes above 127 would call other fonts' lists (or none): show them as "?".
    for (char* c = text; *c; ++c)
        if (static_cast<unsigned char>(*c) > 127) *c = '?';

    push_screen_matrix();
    const float spacing = line_spacing(font.height);
    glPushAttrib(GL_LIST_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT | GL_TRANSFORM_BIT);
    glMatrixMode(GL_MODELVIEW);
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glListBase(font.list_base);
    GLfloat modelview[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);

    const char* line = text;
    for (int i = 0;; ++i) {
        const char* end = std::strchr(line, '\n');
        const std::size_t length = end ? static_cast<std::size_t>(end - line) : std::strlen(line);
        glPushMatrix();
        glLoadIdentity();
        glTranslatef(x, y - spacing * static_cast<float>(i), 0);
        glMultMatrixf(modelview);
        glCallLists(static_cast<GLsizei>(length), GL_UNSIGNED_BYTE, line);
        glPopMatrix();
        if (!end) break;
        line = end + 1;
    }
    glPopAttrib();
    pop_screen_matrix();
}

} // namespace tmod
