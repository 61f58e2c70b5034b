// The audio pump: the stream callback that computes the current patch frame
// by frame into 16-bit stereo. The live sound backends and the offline render
// call the same callback, so a render holds exactly the frames a device gets.
#pragma once

#include <cstdint>

#include "engine/signal.hpp"
#include "util/num.hpp"

namespace tmod {

class GENERATOR;

constexpr int stream_buffer_bytes = 16384; // 4096 frames, about 93 ms
constexpr int bytes_per_frame = 4;         // left and right, 16 bits each

// Container value to a 16-bit sample: full scale is +-2.5. Values beyond it
// saturate at -32768/32767 (a wrapped sample is a full-scale click), and a
// value that is not finite gives 0.
std::int16_t frame_sample(float sum, int generator_count = 1);

class audio_pump {
  public:
    // The containers the callback renders; slot 0 holds the current patch.
    static constexpr int generator_count = 1;
    relaxed<GENERATOR*> generator_table[generator_count] = {nullptr};

    // When set, receives the summed container value of every frame (for
    // renders of the patch's value as float). Set before rendering starts.
    float* value_tap = nullptr;

    // Fills length / 4 frames of the buffer. Does nothing while rendering is
    // off (audio_enabled 0); renders silence when a structural change holds
    // the patch. Audio thread; never blocks or allocates. Returns true.
    bool callback(void* buffer, int length);
};

} // namespace tmod
