#include "audio/capture.hpp"

#include <cstring>

#include "audio/sound_system.hpp"
#include "util/alloc_tracker.hpp"

namespace tmod {

capture::capture(const record_buffer& source, int ring_frames)
    : source_(source),
      ring_(static_cast<std::int16_t*>(tracked_alloc_array(
          2 * sizeof(std::int16_t) * static_cast<std::size_t>(ring_frames), __FILE__, __LINE__))),
      ring_frames_(ring_frames) {
    std::memset(ring_.get(), 0, 2 * sizeof(std::int16_t) * static_cast<std::size_t>(ring_frames));
}

int capture::read() {
    const int pos = source_.position();
    if (pos == last_position_) return 0;
    const int length = source_.length();
    int n = pos - last_position_;
    if (n < 0) n += length;

    record_region regions[2];
    const int count = source_.lock(last_position_, n, regions);
    const int start = write_index_;
    for (int r = 0; r < count; ++r) {
        const std::int16_t* from = regions[r].frames;
        int left = regions[r].count;
        while (left > 0) {
            const int room = ring_frames_ - write_index_;
            const int k = left < room ? left : room;
            std::memcpy(ring_.get() + 2 * static_cast<std::size_t>(write_index_), from,
                        2 * sizeof(std::int16_t) * static_cast<std::size_t>(k));
            from += 2 * k;
            left -= k;
            write_index_ = (write_index_ + k) % ring_frames_;
        }
    }
    source_.unlock(regions);

    last_position_ += n;
    if (last_position_ >= length) last_position_ -= length;
    ++reads_;
    return start;
}

} // namespace tmod
