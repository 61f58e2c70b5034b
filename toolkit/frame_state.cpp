#include "toolkit/frame_state.hpp"

namespace tmod {

int view_scroll_x = 0;
int view_scroll_y = 0;
int pointer_x = 0;
int pointer_y = 0;
int window_width = 1024;
int window_height = 768;

namespace {
bool context_ready = false;
}

bool gl_ready() {
    return context_ready;
}
void set_gl_ready(bool ready) {
    context_ready = ready;
}

} // namespace tmod
