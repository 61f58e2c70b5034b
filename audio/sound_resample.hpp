// Rate conversion between the engine's 44 100 Hz and a device that runs at
// another rate (a JACK server at 48 kHz, a card without 44.1 kHz), so the patch
// never plays at the wrong pitch. libsamplerate does the work; all buffers are
// made when the stream opens, so the audio thread never allocates.
#pragma once

#include <cstdint>
#include <vector>

typedef struct SRC_STATE_tag SRC_STATE;

namespace tmod {

class record_buffer;

// Output side: pulls 44 100 Hz frames from a source and gives device-rate frames.
class output_resampler {
  public:
    using source = void (*)(void* user, std::int16_t* stereo, int frames);
    output_resampler() = default;
    ~output_resampler();
    output_resampler(const output_resampler&) = delete;
    output_resampler& operator=(const output_resampler&) = delete;

    // chunk_frames: how many engine frames the source is asked for at a time.
    bool open(int device_rate, int chunk_frames, source src, void* user);
    // Audio thread: fills `frames` device-rate stereo frames.
    void pull(std::int16_t* stereo, int frames);

  private:
    static long supply(void* self, float** data);

    SRC_STATE* state_ = nullptr;
    double ratio_ = 1.0;
    source src_ = nullptr;
    void* user_ = nullptr;
    std::vector<std::int16_t> chunk16_;
    std::vector<float> chunk_;
    std::vector<float> out_;
};

// Input side: takes device-rate frames and writes 44 100 Hz frames into the
// recording buffer.
class input_resampler {
  public:
    input_resampler() = default;
    ~input_resampler();
    input_resampler(const input_resampler&) = delete;
    input_resampler& operator=(const input_resampler&) = delete;

    bool open(int device_rate, int max_frames);
    // Audio thread.
    void push(const std::int16_t* stereo, int frames, record_buffer& out);

  private:
    SRC_STATE* state_ = nullptr;
    double ratio_ = 1.0;
    int max_frames_ = 0;
    std::vector<float> in_;
    std::vector<float> out_;
    std::vector<std::int16_t> out16_;
};

} // namespace tmod
