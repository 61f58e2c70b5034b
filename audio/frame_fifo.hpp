// A queue of 16-bit stereo frames from the audio thread to a consumer thread
// (what was played, for --record). One producer, one consumer, no lock; a
// full queue drops frames and counts them rather than make the audio wait.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <vector>

namespace tmod {

class frame_fifo {
  public:
    explicit frame_fifo(int capacity_frames)
        : data_(2 * static_cast<std::size_t>(capacity_frames)), capacity_(capacity_frames) {}

    // Producer (audio thread): never blocks or allocates.
    void push(const std::int16_t* stereo, int frames) {
        const long long head = head_.load(std::memory_order_relaxed);
        const long long room = capacity_ - (head - tail_.load(std::memory_order_acquire));
        const int n = static_cast<int>(std::min<long long>(frames, room));
        for (int i = 0; i < n; ++i) {
            const std::size_t at = 2 * static_cast<std::size_t>((head + i) % capacity_);
            data_[at] = stereo[2 * i];
            data_[at + 1] = stereo[2 * i + 1];
        }
        head_.store(head + n, std::memory_order_release);
        if (n < frames) dropped_.fetch_add(frames - n, std::memory_order_relaxed);
    }

    // Consumer: copies up to max_frames into out; returns how many.
    int pop(std::int16_t* out, int max_frames) {
        const long long tail = tail_.load(std::memory_order_relaxed);
        const long long avail = head_.load(std::memory_order_acquire) - tail;
        const int n = static_cast<int>(std::min<long long>(max_frames, avail));
        for (int i = 0; i < n; ++i) {
            const std::size_t at = 2 * static_cast<std::size_t>((tail + i) % capacity_);
            out[2 * i] = data_[at];
            out[2 * i + 1] = data_[at + 1];
        }
        tail_.store(tail + n, std::memory_order_release);
        return n;
    }

    // Frames pushed and not yet popped (either side may ask).
    long long queued() const {
        return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_acquire);
    }
    int capacity() const { return static_cast<int>(capacity_); }

    long long dropped() const { return dropped_.load(std::memory_order_relaxed); }

  private:
    std::vector<std::int16_t> data_;
    long long capacity_;
    std::atomic<long long> head_{0};
    std::atomic<long long> tail_{0};
    std::atomic<long long> dropped_{0};
};

} // namespace tmod
