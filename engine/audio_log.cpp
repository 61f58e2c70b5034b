#include "engine/audio_log.hpp"
#include "util/messages.hpp"

#include <atomic>
#include <cstdio>

namespace tmod {

namespace {
struct message {
    const char* format;
    int argument;
};
constexpr unsigned ring_size = 256;
message ring[ring_size];
std::atomic<unsigned> head{0}; // next slot to write (audio thread)
std::atomic<unsigned> tail{0}; // next slot to read
} // namespace

void audio_log_post(const char* format, int argument) {
    const unsigned h = head.load(std::memory_order_relaxed);
    if (h - tail.load(std::memory_order_acquire) >= ring_size) return;
    ring[h % ring_size] = {format, argument};
    head.store(h + 1, std::memory_order_release);
}

int audio_log_flush() {
    int n = 0;
    unsigned t = tail.load(std::memory_order_relaxed);
    const unsigned h = head.load(std::memory_order_acquire);
    for (; t != h; ++t, ++n) {
        const message& m = ring[t % ring_size];
        say(m.format, m.argument);
    }
    tail.store(t, std::memory_order_release);
    if (n) std::fflush(stdout);
    return n;
}

} // namespace tmod
