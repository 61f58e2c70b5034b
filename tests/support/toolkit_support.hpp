// Helpers of the toolkit suites: plain surfaces for the image bank, pixels
// read back from them, and a panel loaded from an RC text.
#pragma once

#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "support/harness.hpp"
#include "toolkit/cable.hpp"
#include "toolkit/file_listing.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/frame_state.hpp"
#include "toolkit/image_bank.hpp"
#include "toolkit/panel.hpp"
#include "toolkit/scene_objects.hpp"
#include "toolkit/screenshot.hpp"
#include "toolkit/video.hpp"
#include "toolkit/widgets.hpp"

namespace tmod::test {

// A 24-bit surface of one colour.
inline surface_ptr solid(int w, int h, Uint8 r = 200, Uint8 g = 100, Uint8 b = 50) {
    surface_ptr s(SDL_CreateRGBSurface(SDL_SWSURFACE, w, h, 24, 0xFF, 0xFF00, 0xFF0000, 0));
    SDL_FillRect(s.get(), nullptr, SDL_MapRGB(s->format, r, g, b));
    return s;
}

struct rgb {
    int r, g, b;
    bool operator==(const rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

inline rgb pixel(SDL_Surface* s, int x, int y) {
    SDL_LockSurface(s);
    const Uint8* p =
        static_cast<const Uint8*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel;
    Uint32 value = 0;
    for (int i = s->format->BytesPerPixel - 1; i >= 0; --i) value = (value << 8) | p[i];
    SDL_UnlockSurface(s);
    Uint8 r, g, b;
    SDL_GetRGB(value, s->format, &r, &g, &b);
    return {r, g, b};
}

// A new panel named `name` at (x, y) with the RC text read into it; what it
// printed goes to `log` when given.
inline std::unique_ptr<OBJET> panel_from(const std::string& dir, const std::string& text,
                                         const char* name = "12", int x = 0, int y = 0,
                                         std::string* log = nullptr) {
    write_text(dir + "/layout.RC", text);
    auto panel = std::make_unique<OBJET>(x, y, name);
    const std::string out =
        stdout_of([&] { EXPECT_EQ(panel->load_rc((dir + "/layout.RC").c_str()), 1); });
    if (log) *log = out;
    return panel;
}

} // namespace tmod::test
