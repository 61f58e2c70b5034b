// The frames' values for the oscilloscope, from the audio thread to the
// window's thread. One producer, one consumer, no lock, no allocation after
// construction. The writer never waits: when the reader falls behind by more
// than the capacity, the oldest values are overwritten and the reader skips
// them (the trace shows the newest sound) and counts them as lost.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>

namespace tmod {

class scope_ring {
  public:
    explicit scope_ring(int capacity)
        : slots_(new std::atomic<float>[static_cast<std::size_t>(capacity)]()),
          capacity_(capacity) {}

    // Producer (audio thread).
    void push(float v) noexcept {
        const long long h = head_.load(std::memory_order_relaxed);
        // Release: a reader that sees this value also sees that write h began.
        slots_[static_cast<std::size_t>(h % capacity_)].store(v, std::memory_order_release);
        head_.store(h + 1, std::memory_order_release);
    }

    // Consumer: copies up to `max` values, oldest first; returns how many.
    int pop(float* out, int max) noexcept {
        long long h = head_.load(std::memory_order_acquire);
        // The slot of value h may be being written: capacity - 1 are readable.
        if (tail_ < h - capacity_ + 1) skip_to(h - capacity_ + 1);
        const int n = static_cast<int>(std::min<long long>(max, h - tail_));
        for (int i = 0; i < n; ++i)
            out[i] = slots_[static_cast<std::size_t>((tail_ + i) % capacity_)].load(
                std::memory_order_relaxed);
        // Values the writer may have overwritten while they were copied: value
        // j is intact only if write j + capacity had not begun.
        std::atomic_thread_fence(std::memory_order_acquire);
        h = head_.load(std::memory_order_relaxed);
        const long long first_intact = std::max(tail_, h - capacity_ + 1);
        const int bad = static_cast<int>(std::min<long long>(n, first_intact - tail_));
        std::copy(out + bad, out + n, out);
        tail_ += n;
        lost_ += bad;
        return n - bad;
    }

    // Consumer: forgets what is queued (the view starts afresh).
    void clear() noexcept { tail_ = head_.load(std::memory_order_acquire); }

    // Consumer: values overwritten before they could be read.
    long long lost() const noexcept { return lost_; }
    int capacity() const noexcept { return capacity_; }

  private:
    void skip_to(long long t) noexcept {
        lost_ += t - tail_;
        tail_ = t;
    }

    std::unique_ptr<std::atomic<float>[]> slots_;
    int capacity_;
    std::atomic<long long> head_{0};
    long long tail_ = 0; // the consumer's own
    long long lost_ = 0;
};

} // namespace tmod
