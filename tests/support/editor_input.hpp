// The window's events the in-process editor suites hand to editor::input().
#pragma once

#include <SDL/SDL.h>

namespace tmod::test {

// A mouse event at window pixels (x, y): motion, or a button down or up.
inline SDL_Event mouse_event(Uint8 type, int button, int x, int y) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = static_cast<Uint16>(x), e.motion.y = static_cast<Uint16>(y);
    } else {
        e.button.button = static_cast<Uint8>(button);
        e.button.x = static_cast<Uint16>(x), e.button.y = static_cast<Uint16>(y);
    }
    return e;
}

} // namespace tmod::test
