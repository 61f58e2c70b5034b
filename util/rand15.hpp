// A random generator that behaves as the C library's rand(): integers 0 to
// 32767, independent draws. Each module owns one, so the audio thread never
// touches the C library's locked generator and renders are reproducible.
#pragma once

#include <atomic>
#include <cstdint>

namespace tmod {

class rand15 {
  public:
    static constexpr int max = 32767;

    // Every generator gets its own seed, so two noise modules are not copies
    // of each other; the sequence of seeds is the same in every run.
    rand15() : state_(next_seed()) {}
    explicit rand15(std::uint32_t seed) : state_(seed) {}

    void seed(std::uint32_t s) { state_ = s; }
    int next() {
        state_ = state_ * 1103515245u + 12345u;
        return static_cast<int>((state_ >> 16) & 0x7fffu);
    }

  private:
    static std::uint32_t next_seed() {
        static std::atomic<std::uint32_t> counter{0};
        return 1u + counter.fetch_add(1, std::memory_order_relaxed);
    }
    std::uint32_t state_;
};

} // namespace tmod
