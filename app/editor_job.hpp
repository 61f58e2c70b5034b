// The program with its editor window: the engine started as for headless
// play, then the window, the fonts and the patch shown until Esc.
#pragma once

namespace tmod {

struct options;

// Returns the process exit status: 2 without a display, 1 when the window's
// images or fonts cannot be loaded.
int editor_job(const options& o);

} // namespace tmod
