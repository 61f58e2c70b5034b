// Engine-wide state shared by the audio thread, the editor and remote threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "util/num.hpp"

namespace tmod {

constexpr int sample_rate = 44100;

// The audio pump renders only while this is 1. Loads and clears switch it off
// for their duration (see patch_rebuild).
extern relaxed<int> audio_enabled;

// Beats per minute shared by the whole program (sequencer, FAKE303).
extern relaxed<int> tempo_bpm;

// The recorded input sample published once per output frame for MICRO.
extern relaxed<std::int32_t> current_input_sample;

// The lock that keeps a tick away from a patch whose structure changes.
// Structural changes (loads, clears, adding a module) take it exclusively, and
// recursively, because a load nests the loads of its GENERATOR modules. Those
// that only look the patch up take it shared: the audio callback only tries to
// (a buffer that cannot take it is silence), remote connections wait for it,
// and neither ever holds up the other.
class patch_lock {
  public:
    void lock();
    void unlock();
    // Fails while a writer waits: a callback that holds the lock for most of
    // its period (a patch heavier than real time) would otherwise keep a load
    // waiting for ever, its next read taken before the writer wakes.
    bool try_lock_shared() {
        return writers_waiting_.load(std::memory_order_acquire) == 0 && mutex_.try_lock_shared();
    }
    void lock_shared() { mutex_.lock_shared(); }
    void unlock_shared() { mutex_.unlock_shared(); }
    // True when this thread holds it exclusively.
    bool held_here() const {
        return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
    }

  private:
    std::shared_mutex mutex_;
    std::atomic<std::thread::id> owner_{};
    std::atomic<int> writers_waiting_{0};
    int depth_ = 0; // only touched by the owner
};

patch_lock& patch_mutex();

// A structural change (load, clear, destroy): holds the patch lock and keeps
// audio_enabled at 0 until the outermost change ends, so a nested load never
// switches rendering back on in the middle of the outer one.
class patch_rebuild {
  public:
    patch_rebuild();
    ~patch_rebuild();
    patch_rebuild(const patch_rebuild&) = delete;
    patch_rebuild& operator=(const patch_rebuild&) = delete;

  private:
    std::lock_guard<patch_lock> lock_;
};

// A structural edit that rendering goes on around (adding a module from the
// editor): holds the patch lock only.
using patch_edit = std::lock_guard<patch_lock>;

// Looking the patch up from another thread (a remote connection).
using patch_read = std::shared_lock<patch_lock>;

} // namespace tmod
