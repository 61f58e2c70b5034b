#include "engine/param_edits.hpp"

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/engine_state.hpp"

namespace tmod {

namespace {

// Parameter changes for the audio thread: one producer at a time (under the
// edit mutex), one consumer at a time (the callback holding the patch lock
// shared, or a thread holding it exclusively).
struct pending_edit {
    void (*set)(OUTPUT&, int, double);
    OUTPUT* module;
    int index;
    double value;
};
constexpr unsigned queue_size = 256; // a knob turned fast queues a few per buffer
pending_edit queue[queue_size];
std::atomic<unsigned> queue_head{0}; // next free entry (producers)
std::atomic<unsigned> queue_tail{0}; // next entry to apply (consumer)
bool pump_drains = false;            // under the edit mutex

bool queue_full() {
    return queue_head.load(std::memory_order_relaxed) -
               queue_tail.load(std::memory_order_acquire) >=
           queue_size;
}

void push(const param_desc& d, OUTPUT& m, int index, double value) {
    const unsigned h = queue_head.load(std::memory_order_relaxed);
    queue[h % queue_size] = {d.set, &m, index, value};
    queue_head.store(h + 1, std::memory_order_release);
}

// Applied at once, under the exclusive patch lock (taken before the edit mutex).
void set_now(const param_desc& d, OUTPUT& m, int index, double value) {
    patch_edit edit(patch_mutex());
    std::lock_guard<std::mutex> lock(edit_mutex());
    apply_pending_edits(); // the earlier changes first
    d.set(m, index, value);
}

} // namespace

std::mutex& edit_mutex() {
    static std::mutex m;
    return m;
}

void set_param(OUTPUT& m, const param_desc& d, int index, double value) {
    if (!d.set || index < 0 || index >= d.count) return;
    if (!d.audio_thread) return d.set(m, index, value); // one word
    if (patch_mutex().held_here()) {
        // No tick runs while this thread holds the patch.
        std::lock_guard<std::mutex> lock(edit_mutex());
        apply_pending_edits();
        return d.set(m, index, value);
    }
    // A full queue waits for the callback to drain it; a callback that has
    // stopped rendering (a load in progress) will not, so it is not waited for long.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(edit_mutex());
            if (!pump_drains) break;
            if (!queue_full()) return push(d, m, index, value);
        }
        if (!audio_enabled || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    set_now(d, m, index, value);
}

bool try_set_param(OUTPUT& m, const param_desc& d, int index, double value) {
    if (!d.set || index < 0 || index >= d.count) return true;
    if (!d.audio_thread) {
        d.set(m, index, value);
        return true;
    }
    std::lock_guard<std::mutex> lock(edit_mutex());
    if (!pump_drains || queue_full()) return false;
    push(d, m, index, value);
    return true;
}

bool edits_pending() {
    return queue_head.load(std::memory_order_acquire) != queue_tail.load(std::memory_order_acquire);
}

void apply_pending_edits() {
    unsigned t = queue_tail.load(std::memory_order_relaxed);
    const unsigned h = queue_head.load(std::memory_order_acquire);
    for (; t != h; ++t) {
        const pending_edit& e = queue[t % queue_size];
        e.set(*e.module, e.index, e.value);
    }
    queue_tail.store(t, std::memory_order_release);
}

void set_audio_drains_edits(bool draining) {
    if (draining) {
        std::lock_guard<std::mutex> lock(edit_mutex());
        pump_drains = true;
        return;
    }
    patch_edit edit(patch_mutex());
    std::lock_guard<std::mutex> lock(edit_mutex());
    pump_drains = false;
    apply_pending_edits();
}

} // namespace tmod
