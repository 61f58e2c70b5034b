#include "engine/engine_state.hpp"

namespace tmod {

relaxed<int> audio_enabled{0};
relaxed<int> tempo_bpm{60};
relaxed<std::int32_t> current_input_sample{0};

namespace {
int rebuild_depth = 0; // only touched while holding the patch lock
}

std::recursive_mutex& patch_mutex() {
    static std::recursive_mutex m;
    return m;
}

patch_rebuild::patch_rebuild() : lock_(patch_mutex()) {
    ++rebuild_depth;
    audio_enabled = 0;
}

patch_rebuild::~patch_rebuild() {
    if (--rebuild_depth == 0) audio_enabled = 1;
}

} // namespace tmod
