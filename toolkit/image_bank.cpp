#include "toolkit/image_bank.hpp"

#include "toolkit/frame_state.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"
#include "util/word_scanner.hpp"

#include <GL/gl.h>
#include <GL/glu.h>
#include <SDL/SDL_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tmod {
namespace {

// Bytes B, G, R in memory, whatever the machine's byte order.
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
constexpr Uint32 bank_rmask = 0x00FF0000, bank_gmask = 0x0000FF00, bank_bmask = 0x000000FF;
#else
constexpr Uint32 bank_rmask = 0x000000FF, bank_gmask = 0x0000FF00, bank_bmask = 0x00FF0000;
#endif

// Larger cells or sheets are refused: no layout needs them, and they would cost
// hundreds of megabytes each.
constexpr int max_cell_side = 4096;

bool in_bank_format(const SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    return f->BitsPerPixel == 24 && f->Rmask == bank_rmask && f->Gmask == bank_gmask &&
           f->Bmask == bank_bmask;
}

surface_ptr new_bank_surface(int w, int h) {
    surface_ptr s(
        SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, bank_rmask, bank_gmask, bank_bmask, 0));
    if (s) SDL_FillRect(s.get(), nullptr, 0);
    return s;
}

void note(std::string& problems, const char* format, const std::string& a,
          const std::string& b = {}) {
    char line[1100];
    std::snprintf(line, sizeof line, format, a.c_str(), b.c_str());
    problems += line;
}

} // namespace

// ---------------------------------------------------------------- bundle text

std::vector<bundle_entry> parse_bundle(const std::string& text, std::string& problems) {
    std::vector<bundle_entry> entries;
    word_scanner in(text);
    std::string header, name, file, kind;
    if (!in.word(header) || !in.word(header)) return entries;
    while (in.word(name) && name != "END") {
        if (!in.word(file) || file[0] == '#') break;
        if (!in.word(kind)) {
            note(problems, "Bundle entry [%s] has no kind: ignored\n", name);
            break;
        }
        bundle_entry e;
        e.name = name;
        e.file = file;
        e.sheet = kind != "SIMPLEPART";
        if (e.sheet) {
            int* fields[] = {&e.cell_w, &e.cell_h, &e.rows, &e.columns, &e.gap_x, &e.gap_y};
            bool complete = true;
            for (int* f : fields) complete = complete && in.integer(*f);
            if (!complete) {
                note(problems,
                     "Sheet [%s] needs six integers (cell width and height, rows, "
                     "columns, gaps): ignored\n",
                     name);
                continue;
            }
            const bool sane = e.cell_w >= 1 && e.cell_h >= 1 && e.cell_w <= max_cell_side &&
                              e.cell_h <= max_cell_side && e.rows >= 1 && e.columns >= 1 &&
                              static_cast<long long>(e.rows) * e.columns <= IMAGE_BANK::capacity;
            if (!sane) {
                note(problems, "Sheet [%s] has an impossible size or cell count: ignored\n", name);
                continue;
            }
        }
        entries.push_back(std::move(e));
    }
    return entries;
}

surface_ptr to_bank_format(SDL_Surface* source) {
    if (!source || source->w <= 0 || source->h <= 0) return nullptr;
    surface_ptr out = new_bank_surface(source->w, source->h);
    if (!out) return nullptr;
    // Blitting onto black keeps colour-keyed pixels black and multiplies colour by
    // alpha: exactly the "black where transparent" images the masks expect.
    if (SDL_BlitSurface(source, nullptr, out.get(), nullptr) < 0) return nullptr;
    return out;
}

std::vector<named_surface> cut_sheet(SDL_Surface* sheet, const bundle_entry& e,
                                     std::string& problems) {
    std::vector<named_surface> cells;
    surface_ptr flat = to_bank_format(sheet);
    if (!flat) {
        note(problems, "Sheet [%s] could not be converted: ignored\n", e.name);
        return cells;
    }
    const long long step_x = static_cast<long long>(e.cell_w) + e.gap_x;
    const long long step_y = static_cast<long long>(e.cell_h) + e.gap_y;
    SDL_LockSurface(flat.get());
    for (int r = 0; r < e.rows; ++r) {
        for (int c = 0; c < e.columns; ++c) {
            const int number = r * e.columns + c;
            const long long x0 = c * step_x, y0 = r * step_y;
            std::string cell_name = e.name + "_" + std::to_string(number);
            if (x0 < 0 || y0 < 0 || x0 + e.cell_w > flat->w || y0 + e.cell_h > flat->h) {
                note(problems, "Cell [%s] lies outside the sheet [%s]: ignored\n", cell_name,
                     e.file);
                continue;
            }
            surface_ptr cell = new_bank_surface(e.cell_w, e.cell_h);
            if (!cell) continue;
            const auto* src = static_cast<const Uint8*>(flat->pixels);
            auto* dst = static_cast<Uint8*>(cell->pixels);
            for (int row = 0; row < e.cell_h; ++row)
                std::memcpy(dst + row * cell->pitch, src + (y0 + row) * flat->pitch + x0 * 3,
                            static_cast<std::size_t>(e.cell_w) * 3);
            cells.push_back({std::move(cell_name), std::move(cell)});
        }
    }
    SDL_UnlockSurface(flat.get());
    return cells;
}

// ---------------------------------------------------------------- IMAGE_BANK

IMAGE_BANK::IMAGE_BANK() = default;
IMAGE_BANK::~IMAGE_BANK() = default;

IMAGE_BANK& image_bank() {
    static IMAGE_BANK bank;
    return bank;
}

int IMAGE_BANK::find(const char* name) const {
    if (!name) return -1;
    for (int i = 0; i < count; ++i)
        if (names[i][0] == name[0] && std::strncmp(names[i], name, name_size - 1) == 0) return i;
    return -1;
}

SDL_Surface* IMAGE_BANK::surface(const char* name) const {
    int slot = find(name);
    return slot < 0 ? nullptr : surfaces[slot].get();
}

int IMAGE_BANK::add_at(int slot, const char* name, surface_ptr image, int width, int height) {
    if (!in_bank_format(image.get())) {
        surface_ptr flat = to_bank_format(image.get());
        if (!flat) return 0;
        image = std::move(flat);
    }
    copy_text(names[slot], name);
    ++generation;
    // The old image of a replaced slot is freed: sprites only know the name.
    surfaces[slot] = std::move(image);
    widths[slot] = width;
    heights[slot] = height;
    upload_texture(surfaces[slot].get(), slot, GL_NEAREST, GL_NEAREST, false);
    return 1;
}

int IMAGE_BANK::add(const char* name, surface_ptr image, int width, int height) {
    if (!name || !image) return 0;
    int slot = find(name);
    if (slot < 0) {
        if (count >= capacity) {
            std::printf("Image bank full (%d images): [%s] not added\n", capacity, name);
            return 0;
        }
        slot = count;
        if (!add_at(slot, name, std::move(image), width, height)) return 0;
        ++count;
        return 1;
    }
    return add_at(slot, name, std::move(image), width, height);
}

int IMAGE_BANK::load_image(const char* file, const char* name) {
    if (find(name) >= 0) return count;
    surface_ptr s(file ? IMG_Load(file) : nullptr);
    if (!s) return 0;
    const int w = s->w, h = s->h;
    if (!add(name, std::move(s), w, h)) return 0;
    return count;
}

int IMAGE_BANK::add_surface(surface_ptr image, const char* name) {
    if (find(name) >= 0) return count;
    if (!image) return 0;
    const int w = image->w, h = image->h;
    add(name, std::move(image), w, h);
    return count;
}

void IMAGE_BANK::clear() {
    for (int i = 0; i < capacity; ++i) {
        surfaces[i].reset();
        names[i][0] = '\0';
        widths[i] = heights[i] = 0;
    }
    count = 0;
    ++generation;
}

int IMAGE_BANK::try_load_bundle(const char* path, std::string& why) {
    why.clear();
    std::string text;
    if (!read_text_file(path, text)) {
        note(why, "Impossible d'ouvrir [%s]\n", path ? path : "");
        return -1;
    }
    std::string problems;
    std::vector<bundle_entry> entries = parse_bundle(text, problems);

    // Everything is loaded aside first, so a failure leaves the bank untouched.
    std::vector<named_surface> staged;
    auto is_staged = [&staged](const std::string& n) {
        for (const named_surface& s : staged)
            if (s.name.compare(0, name_size - 1, n, 0, name_size - 1) == 0) return true;
        return false;
    };
    for (const bundle_entry& e : entries) {
        if (staged.size() >= static_cast<std::size_t>(capacity)) {
            note(problems, "More than 400 images: [%s] and the entries after it are not loaded\n",
                 e.name);
            break;
        }
        if (!e.sheet) {
            if (is_staged(e.name)) continue; // the first image of a name stays
            surface_ptr s(IMG_Load(e.file.c_str()));
            surface_ptr flat = to_bank_format(s.get());
            if (!flat) {
                std::printf("%s", problems.c_str());
                note(why, "Erreur au de chargement simplepart [%s]\n", e.file);
                return -2;
            }
            staged.push_back({e.name, std::move(flat)});
            continue;
        }
        surface_ptr sheet(IMG_Load(e.file.c_str()));
        if (!sheet) {
            note(problems, "Sheet [%s] could not be loaded from [%s]: skipped\n", e.name, e.file);
            continue;
        }
        for (named_surface& cell : cut_sheet(sheet.get(), e, problems)) {
            if (is_staged(cell.name)) continue;
            if (staged.size() >= static_cast<std::size_t>(capacity)) {
                note(problems, "More than 400 images: [%s] and the cells after it are not loaded\n",
                     cell.name);
                break;
            }
            staged.push_back(std::move(cell));
        }
    }
    std::printf("%s", problems.c_str());

    clear();
    bundle_path = path;
    for (named_surface& s : staged) {
        const int w = s.surface->w, h = s.surface->h;
        add(s.name.c_str(), std::move(s.surface), w, h);
    }
    return 1;
}

int IMAGE_BANK::load_bundle(const char* path) {
    std::string why;
    if (try_load_bundle(path, why) == 1) return 1;
    say("%s", why.c_str());
    return -1;
}

int IMAGE_BANK::reload() {
    std::string why;
    const std::string path = bundle_path;
    if (try_load_bundle(path.c_str(), why) == 1) return 1;
    std::printf("%sThe bundle was not reloaded: the images stay as they were\n", why.c_str());
    return -1;
}

// ---------------------------------------------------------------- textures

IMAGE_BANK::upload_path IMAGE_BANK::choose_upload_path(int width, int height, bool no_direct) {
    auto direct_side = [](int v) { return v == 64 || v == 128 || v == 256; };
    if (!no_direct && direct_side(width) && direct_side(height)) return upload_path::direct;
    return upload_path::mipmaps;
}

void IMAGE_BANK::upload_texture(SDL_Surface* image, int slot, int min_filter, int mag_filter,
                                bool no_direct) {
    if (!gl_ready() || !image || slot < 0) return;
    surface_ptr converted;
    if (!in_bank_format(image)) {
        converted = to_bank_format(image);
        if (!converted) return;
        image = converted.get();
    }
    // Rows are packed tightly so the upload never depends on the surface's pitch.
    const int w = image->w, h = image->h;
    std::vector<Uint8> pixels(static_cast<std::size_t>(w) * h * 3);
    SDL_LockSurface(image);
    for (int row = 0; row < h; ++row)
        std::memcpy(&pixels[static_cast<std::size_t>(row) * w * 3],
                    static_cast<const Uint8*>(image->pixels) + row * image->pitch,
                    static_cast<std::size_t>(w) * 3);
    SDL_UnlockSurface(image);

    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(slot));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag_filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min_filter);
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    if (choose_upload_path(w, h, no_direct) == upload_path::direct)
        glTexImage2D(GL_TEXTURE_2D, 0, 3, w, h, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
    else
        gluBuild2DMipmaps(GL_TEXTURE_2D, 3, w, h, GL_BGR_EXT, GL_UNSIGNED_BYTE, pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
}

void IMAGE_BANK::reserve_texture_names() {
    if (!gl_ready()) return;
    // Binding an unused name creates its texture object, and generated names
    // never reuse names in use.
    for (GLuint name = 1; name < static_cast<GLuint>(capacity); ++name)
        glBindTexture(GL_TEXTURE_2D, name);
    glBindTexture(GL_TEXTURE_2D, 0);
}

} // namespace tmod
