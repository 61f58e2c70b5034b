// Process-wide state that the toolkit shares with the editor's main loop.
// Everything here belongs to the graphics thread.
#pragma once

namespace tmod {

// World position of the screen's top-left corner, in pixels. The main loop owns
// it; every drawing primitive of the toolkit subtracts it.
extern int view_scroll_x;
extern int view_scroll_y;

// Pointer position in world coordinates (screen position + view scroll), kept up
// to date by the event passes; the toolkit's hit tests read it.
extern int pointer_x;
extern int pointer_y;

// Window size given to init_video (1024 x 768 in the editor).
extern int window_width;
extern int window_height;

// True while an OpenGL context is current (from init_video to close_video).
// Without one, images and fonts are kept in memory only and nothing is drawn,
// so the non-drawing parts of the toolkit run in tests without a display.
bool gl_ready();
void set_gl_ready(bool ready);

} // namespace tmod
