// The window and the frame services: opening the SDL 1.2 OpenGL window with the
// image bank, and the two projections the editor switches between.
// Graphics thread only.
#pragma once

namespace tmod {

// Opens the window (width x height, 32 bits, double-buffered OpenGL), sets the
// default GL state, empties the image bank and loads the bundle when a path is
// given. The title, when given, becomes the window caption. 1 on success; -1
// when SDL fails ("Video initialization failed: %s", "Video query failed: %s"
// or "Video mode set failed: %s" on standard error) or the bundle does not load:
// the start-up decides what to do then.
int init_video(int width, int height, const char* title, const char* bundle_path);

// Frees the image bank and closes the window. Fonts must be released before.
void close_video();

// Viewport and a 45-degree perspective (aspect width / height, near 0.1, far 100).
// With select_modelview 1 the model-view matrix becomes current; the current
// matrix is then loaded with the identity (so with 0 the projection ends up as
// the identity).
void set_perspective(int width, int height, int select_modelview);

// Saves the projection and installs a 2-D one: push_ortho(0, 0, 1024, 768) gives
// pixel coordinates with the origin at the top left and y downward. The
// model-view matrix is current and the identity afterwards.
void push_ortho(int left, int top, int right, int bottom);
void pop_ortho();

} // namespace tmod
