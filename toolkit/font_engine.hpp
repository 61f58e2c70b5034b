// Font engine: TrueType fonts turned by FreeType into one texture and one display
// list per character code 0..127, built once after the window opens, and a
// printf-style print that draws with them. Fonts are listed in a font list file
// ("Fonts/Fonts.FNTS") and chosen by their position in it (0..9).
// Graphics thread only (textures and lists need its OpenGL context).
#pragma once

#include <GL/gl.h>

#include <memory>
#include <string>
#include <vector>

namespace tmod {

struct FONT {
    static constexpr int glyph_count = 128;

    float height = 0;                   // nominal character height in pixels
    std::unique_ptr<GLuint[]> textures; // one texture per character code
    GLuint list_base = 0;               // first of 128 display lists, 0 when not loaded

    // Builds the glyphs. FreeType failures throw std::runtime_error with
    // "FT_Init_FreeType failed", "FT_New_Face failed (there is probably a problem
    // with your font file)", "FT_Load_Glyph failed" or "FT_Get_Glyph failed".
    void init(const char* file, unsigned int pixel_height);
    void release();
    bool loaded() const { return list_base != 0; }
};

// Texture side for a glyph side: the smallest power of two, from 1, not below it.
int glyph_texture_side(int value);

// One entry of a font list as written in the file.
struct font_list_entry {
    std::string name;
    std::string file;
};

// Reads a font list text: two header words, then name and file pairs until the
// name "END", a file word beginning with "#" or the end of the text. Entries
// beyond the table's ten are left out with a note in `problems`.
std::vector<font_list_entry> parse_font_list(const std::string& text, std::string& problems);

class FONT_TABLE {
  public:
    static constexpr int capacity = 10;
    static constexpr int name_size = 80;

    FONT_TABLE() = default;
    ~FONT_TABLE();
    FONT_TABLE(const FONT_TABLE&) = delete;
    FONT_TABLE& operator=(const FONT_TABLE&) = delete;

    // Start-up load: a missing list ("Impossible d'ouvrir [%s]") or a font
    // FreeType cannot read is said and gives -1; the start-up decides if that
    // is fatal.
    int load_font_list(const char* path);
    // The same without ending anything: 1, or -1 with the reason in `why` (fonts
    // loaded before the failure stay).
    int try_load_font_list(const char* path, std::string& why);
    // Builds fonts[count] from the file at height 32 and counts it; the caller
    // stores the name first. Throws as FONT::init does. 0 when the table is full.
    int add_font(const char* file);

    // The font of that number (the size is not used for the choice); an empty
    // record for numbers that hold no font.
    const FONT& get(int number, int size) const;
    // The font of that number, or font 0 when that slot holds no font.
    const FONT& get_or_first(int number) const;

    // Deletes every font's lists and textures (needs the context); count = 0.
    void release_all();

    char names[capacity][name_size] = {};
    FONT fonts[capacity];
    int count = 0;
};

// The process-wide font table.
FONT_TABLE& font_table();

// Projection for print: pixel coordinates from the viewport, origin at the
// bottom left, y upward.
void push_screen_matrix();
void pop_screen_matrix();

// Draws formatted text (cut to 255 characters) with the current colour at (x, y)
// in the y-up frame; "\n" starts a new line one line spacing (height / 0.63)
// lower. Rotations and scales of the current model-view matrix apply around each
// line's start. Codes 128..255 have no glyphs and are drawn as "?". A font that
// is not loaded draws nothing.
void print(const FONT& font, float x, float y, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

// The line spacing print uses for a font of that height.
float line_spacing(float height);

} // namespace tmod
