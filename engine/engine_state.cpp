#include "engine/engine_state.hpp"

namespace tmod {

relaxed<int> audio_enabled{0};
relaxed<int> tempo_bpm{60};
relaxed<std::int32_t> current_input_sample{0};

namespace {
int rebuild_depth = 0; // only touched while holding the patch lock
}

void patch_lock::lock() {
    if (owner_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
        ++depth_;
        return;
    }
    mutex_.lock();
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    depth_ = 1;
}

void patch_lock::unlock() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
}

patch_lock& patch_mutex() {
    static patch_lock m;
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
