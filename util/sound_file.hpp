// Sound files (WAV, FLAC, OGG, AIFF, anything libsndfile reads) decoded into
// interleaved signed 16-bit values, as the sampler plays them.
#pragma once

#include <cstdint>
#include <memory>

namespace tmod {

struct tracked_buffer_deleter {
    void operator()(std::int16_t* p) const;
};
// A buffer of 16-bit values allocated through the allocation tracker.
using sample_buffer = std::unique_ptr<std::int16_t[], tracked_buffer_deleter>;

struct decoded_sound {
    sample_buffer data;
    int frames = 0;
    int channels = 0; // 1 or 2: further channels are dropped
    int rate = 0;     // the file's own rate, reported as the default frequency
};

// Decodes the file; on failure prints the sampler's message for the case
// (cannot load, no length, cannot be read) and returns false. Main thread.
bool load_sound_file(const char* file_name, decoded_sound& out);

// The sound converted once from its file's rate to `sample_rate`, keeping at
// most `max_frames` frames, so a sample plays at its own pitch and speed. Main
// thread. False, with a message and the sound left as it was, when the file's
// rate is too far from the engine's to be converted.
bool convert_to_rate(const char* file_name, decoded_sound& sound, int sample_rate, int max_frames);

// Float in [-1, 1) to a 16-bit sample, saturated; and back.
std::int16_t float_to_sample(float x);
inline float sample_to_float(std::int16_t s) {
    return s / 32768.0f;
}

} // namespace tmod
