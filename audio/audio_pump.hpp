// The audio pump: the stream callback that computes the current patch frame
// by frame into 16-bit stereo. The live sound backends and the offline render
// call the same callback, so a render holds exactly the frames a device gets.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/scope_ring.hpp"
#include "engine/signal.hpp"
#include "util/num.hpp"

namespace tmod {

class GENERATOR;
class capture;
class sound_system;

constexpr int stream_buffer_bytes = 16384; // 4096 frames, about 93 ms
constexpr int bytes_per_frame = 4;         // left and right, 16 bits each
constexpr int scope_ring_frames = 1 << 16; // about 1.5 s of values for the scope

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

    // The capture ring MICRO modules hear, or null (they hear 0). The callback
    // uses it only while holding the patch lock, so attach and detach it under
    // that lock while a stream runs.
    capture* input = nullptr;

    // The oscilloscope: while scope_view is 1, every frame's summed value goes
    // into scope_values and the buffer's frame count into scope_block_frames,
    // for the window's thread to draw (never drawn here).
    relaxed<int> scope_view{0};
    relaxed<float> scope_zoom{8.0f};
    relaxed<int> scope_block_frames{0};
    scope_ring scope_values{scope_ring_frames};

    // Buffers rendered as silence because a structural change held the patch.
    relaxed<long> skipped_buffers{0};

    // Fills length / 4 frames of the buffer. Does nothing while rendering is
    // off (audio_enabled 0); renders silence when a structural change holds
    // the patch. Parameter changes queued by the editing seam are applied
    // first. Audio thread; never blocks or allocates. Returns true.
    bool callback(void* buffer, int length);

    // The same, in the shape the sound system calls (user = the pump).
    static bool stream_callback(void* pump, void* buffer, int length) {
        return static_cast<audio_pump*>(pump)->callback(buffer, length);
    }
};

struct pump_settings {
    int buffer_frames = 0;          // 0: the default block of stream_buffer_bytes
    double record_wait_seconds = 3; // give up waiting for input after this
};

// Creates and plays the stream, starts the recording into a new capture ring
// and waits for the first recorded frames. On failure prints "Error!" and the
// error text and returns false with the exit status to end with (1 for the
// stream, -1 for the recording). Without a recording device, or when none
// arrives in time, it says so and plays without input. Main thread.
bool pump_start(audio_pump& pump, sound_system& sound, std::unique_ptr<capture>& ring,
                const pump_settings& settings, int& exit_status);

// Rendering off, the stream closed (its thread joined), the ring detached,
// the sound system closed. Main thread.
void pump_stop(audio_pump& pump, sound_system& sound, std::unique_ptr<capture>& ring);

} // namespace tmod
