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
    writers_waiting_.fetch_add(1, std::memory_order_acq_rel);
    mutex_.lock();
    writers_waiting_.fetch_sub(1, std::memory_order_acq_rel);
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

namespace {
// Rendering stops before the lock is waited for: a callback under way gives
// up the rest of its buffer (a patch heavier than real time would otherwise
// hold a load or the shutdown for a whole buffer's computation).
patch_lock& quieted(patch_lock& m) {
    audio_enabled = 0;
    return m;
}
} // namespace

patch_rebuild::patch_rebuild() : lock_(quieted(patch_mutex())) {
    ++rebuild_depth;
}

patch_rebuild::~patch_rebuild() {
    if (--rebuild_depth == 0) audio_enabled = 1;
}

} // namespace tmod
