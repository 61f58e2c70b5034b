// Sound input capture: what the recording device delivered is copied from the
// looping recording buffer into a ring of frames, from which the audio pump
// publishes one input sample per output frame for the MICRO modules.
//
// The capture read runs on the audio thread (inside the pump's callback) and
// is the only writer of the ring.
#pragma once

#include <cstdint>

#include "util/sound_file.hpp"

namespace tmod {

class record_buffer;

constexpr int capture_ring_frames = 4410000; // 100 s at 44 100 Hz

class capture {
  public:
    // The ring is allocated here (main thread); ring_frames is for tests.
    explicit capture(const record_buffer& source, int ring_frames = capture_ring_frames);

    // Copies the frames recorded since the last read into the ring. Returns
    // the ring index of the first frame copied, or 0 when nothing new arrived.
    // Audio thread; never blocks or allocates.
    int read();

    // The left sample of ring frame p (p is kept within the ring).
    std::int16_t left(int p) const { return ring_[2 * static_cast<std::size_t>(p)]; }
    int next(int p) const { return p + 1 < ring_frames_ ? p + 1 : 0; }

    int ring_frames() const { return ring_frames_; }
    int write_index() const { return write_index_; }
    int last_position() const { return last_position_; }
    // How many reads found new frames (for tests and diagnostics).
    long reads() const { return reads_; }

  private:
    const record_buffer& source_;
    sample_buffer ring_;
    int ring_frames_;
    int write_index_ = 0;
    int last_position_ = 0;
    long reads_ = 0;
};

} // namespace tmod
