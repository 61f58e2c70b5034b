// Scene objects: the class chain every visible thing of the editor derives from
// (TAM_ENGINE -> BASE -> RECTANGLE -> SPRITE), and the two drawing primitives
// everything goes through. Positions are pixels, x to the right and y downward,
// in world coordinates: the primitives subtract the view scroll.
// Graphics thread only (the id counter is not protected).
#pragma once

#include "util/alloc_tracker.hpp"

#include <cstdint>

namespace tmod {

constexpr int item_name_size = 80; // 79 characters and the terminator

// Identity: a serial number and an item name.
class TAM_ENGINE : public LeakWrapper {
  public:
    // Name "ITEM_%20lu" with the id.
    TAM_ENGINE();
    // Name from set_name.
    explicit TAM_ENGINE(const char* name);
    ~TAM_ENGINE() override = default;
    TAM_ENGINE(const TAM_ENGINE&) = delete;
    TAM_ENGINE& operator=(const TAM_ENGINE&) = delete;

    virtual int update() { return 0; }
    // Kept for derived code; the toolkit never calls it.
    virtual int reserved(int, int) { return 0; }

    // Copies the name cut to 79 characters; null gives "DEFAULT_ITEM_%20lu".
    void set_name(const char* text);

    std::uint32_t id;           // serial number from 0, never reused
    char name[item_name_size];  // item name
};

// Position.
class BASE : public TAM_ENGINE {
  public:
    BASE(float x, float y, float z);
    // The name only lives during construction: the object ends up "BASE_ITEM_%20lu".
    BASE(float x, float y, float z, const char* name);

    virtual void set_position(float nx, float ny, float nz);
    virtual void set_x(float v) { x = v; }
    virtual void set_y(float v) { y = v; }
    virtual void set_z(float v) { z = v; }

    float x = 0, y = 0, z = 0;
};

// Size (d is carried but never drawn).
class RECTANGLE : public BASE {
  public:
    RECTANGLE(float x, float y, float z, float w, float h, float d, const char* name);

    // Truncated probe within [trunc(x), trunc(x) + trunc(w)] and the same for y;
    // all edges inclusive, zoom not applied.
    bool contains_point(const BASE& probe) const;
    bool contains_point(int px, int py) const;
    // True unless one lies wholly beside the other (touching edges overlap).
    bool overlaps(const RECTANGLE& other) const;

    float w = 0, h = 0, d = 0;
};

// An image of the image bank, drawn with zoom, rotation, mask, blending and alpha.
// w and h follow the image's size whenever the image is in the bank.
class SPRITE : public RECTANGLE {
  public:
    SPRITE(const char* image, int x, int y, int is_key, std::uint32_t key, int additive, float zoom,
           int angle, int alpha);

    // Change detection; raises redraw and changed, takes the image size. Returns 0.
    int update() override;
    virtual void dump() const;

    // Changes the image when the name differs (raises changed and redraw).
    void set_image(const char* image_name);
    // Empty or beginning with "0" means no mask.
    void set_mask(const char* mask_name);
    bool has_mask() const { return mask[0] != '\0' && mask[0] != '0'; }

    void blit();

    // Zoomed hit test of a point, all edges inclusive.
    bool contains(const BASE& probe) const;
    bool contains(int px, int py) const;

    int last_touched = 0;
    int last_angle = 0;
    int last_alpha = 0;
    char shown_image[item_name_size];
    int ix = 0, iy = 0, iw = 0, ih = 0;
    std::uint8_t text_transform = 1;
    int touched = 0;
    int pressed = 0;
    int redraw = 1;
    int changed = 0;
    float zoom = 1.0f;
    int angle = 0;
    std::uint32_t key = 0;
    int is_key = 0;
    int additive = 0;
    int subtractive = 0;
    int alpha = 255;
    char image[item_name_size];
    char mask[item_name_size];
};

// The shared truncation of the hit tests: px within [left, left + width] and py
// within [top, top + height], edges included.
bool rect_contains(int left, int top, int width, int height, int px, int py);

// One textured quad of half extents a (along the image width) and b, centred on
// (cx, cy), rotated by (rx, ry, rz) degrees. Drawn 15 pixels lower than given
// (filled rectangles are 13 lower): both shifts are part of the editor's layout.
// With alpha 255 and neither additive nor subtractive it leaves blending and
// depth testing as they are.
// How much lower than their position images are drawn (see draw_textured_quad),
// and filled rectangles (fill_rect).
constexpr int sprite_draw_shift = 15;
constexpr int fill_draw_shift = 13;
void draw_textured_quad(unsigned texture, float cx, float cy, float z, float rx, float ry, float rz,
                        float a, float b, int additive, int subtractive, int alpha);

// A filled rectangle, colour 0xAARRGGBB.
void fill_rect(int x, int y, int w, int h, std::uint32_t colour);

// Next id a scene object will take (tests and diagnostics).
std::uint32_t next_item_id();

} // namespace tmod
