// The image bank: up to 400 named images, each kept as an SDL surface and, while
// an OpenGL context exists, uploaded as the texture whose name is its slot
// number. Sprites refer to images by name only. The bank is filled from an
// image bundle ("grfx/opengl.tim"): a text file naming whole images and sprite
// sheets to cut into numbered cells. Graphics thread only.
#pragma once

#include <SDL/SDL.h>

#include <memory>
#include <string>
#include <vector>

namespace tmod {

struct surface_deleter {
    void operator()(SDL_Surface* s) const {
        if (s) SDL_FreeSurface(s);
    }
};
using surface_ptr = std::unique_ptr<SDL_Surface, surface_deleter>;

// One entry of a bundle as written in the file.
struct bundle_entry {
    std::string name;
    std::string file;
    bool sheet = false; // any kind word other than "SIMPLEPART"
    int cell_w = 0, cell_h = 0, rows = 0, columns = 0, gap_x = 0, gap_y = 0;
};

// Reads the entries of a bundle text: two header words, then entries until the
// name "END", a file word beginning with "#" or the end of the text. Malformed
// sheet entries are left out with a note in `problems`.
std::vector<bundle_entry> parse_bundle(const std::string& text, std::string& problems);

// Cuts the cells of a sheet in row-major order: cell (r, c) is the rectangle at
// (c * (cell_w + gap_x), r * (cell_h + gap_y)). Each cell becomes a 24-bit surface
// named "%s_%d". Cells that do not lie inside the sheet are left out with a note.
struct named_surface {
    std::string name;
    surface_ptr surface;
};
std::vector<named_surface> cut_sheet(SDL_Surface* sheet, const bundle_entry& entry,
                                     std::string& problems);

// The 24-bit layout every image is kept in (bytes B, G, R on little-endian
// machines, which is what the texture upload hands to OpenGL). Any SDL surface
// (paletted, 32-bit with alpha, colour-keyed) is converted on its way in;
// transparent pixels become black, as the masking scheme expects.
surface_ptr to_bank_format(SDL_Surface* source);

class IMAGE_BANK {
  public:
    static constexpr int capacity = 400;
    static constexpr int name_size = 80;

    IMAGE_BANK();
    ~IMAGE_BANK();
    IMAGE_BANK(const IMAGE_BANK&) = delete;
    IMAGE_BANK& operator=(const IMAGE_BANK&) = delete;

    // Slot of the image, or -1.
    int find(const char* name) const;
    SDL_Surface* surface(const char* name) const;

    // Replaces the image of that name or puts it in the next free slot, then
    // uploads its texture. Returns 1, or 0 when the bank is full (the surface is
    // freed then). The bank owns the surface.
    int add(const char* name, surface_ptr image, int width, int height);
    // Name already in use: returns count without loading. A file that cannot be
    // loaded: 0. Otherwise the new count.
    int load_image(const char* file, const char* name);
    // Name in use: count (the surface is freed, the first image stays); null: 0.
    int add_surface(surface_ptr image, const char* name);

    // Start-up load: a bundle that cannot be opened or a whole image that cannot
    // be loaded is said and gives -1 (the bank stays as it was); the start-up
    // decides whether the editor can run without its images.
    int load_bundle(const char* path);
    // The same reading without ending anything: either the whole bundle replaces
    // the bank's images (1) or the bank is left as it was and `why` says what
    // went wrong (-1).
    int try_load_bundle(const char* path, std::string& why);
    // Reads the last bundle again (F9 in the editor). A broken bundle keeps the
    // old images and prints why. 1 on success, -1 otherwise.
    int reload();

    // Frees every image (and its texture while a context exists); count = 0.
    void clear();

    enum class upload_path { direct, mipmaps };
    // Direct upload only for 64, 128 or 256 on both sides; everything else goes
    // through mipmap building, which rescales sizes that are not powers of two.
    static upload_path choose_upload_path(int width, int height, bool no_direct);
    // Uploads the surface as texture name `slot` (needs a context; does nothing
    // without one).
    static void upload_texture(SDL_Surface* image, int slot, int min_filter, int mag_filter,
                               bool no_direct);
    // Marks the texture names of the bank's range as used, so that names
    // generated later (fonts) never fall inside it. Needs a context.
    static void reserve_texture_names();

    surface_ptr surfaces[capacity];
    std::string bundle_path;
    int widths[capacity] = {};
    int heights[capacity] = {};
    char names[capacity][name_size] = {};
    int count = 0;
    // Changes whenever an image is added, replaced or freed: what was measured
    // on the images before (a panel's size) may be stale.
    unsigned generation = 0;

  private:
    int add_at(int slot, const char* name, surface_ptr image, int width, int height);
};

// The process-wide bank.
IMAGE_BANK& image_bank();

} // namespace tmod
