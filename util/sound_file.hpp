// Sound files: reading (WAV, FLAC, OGG, AIFF, anything libsndfile reads)
// decoded into interleaved signed 16-bit values, as the sampler plays them;
// writing renders and recordings as WAV, or RF64 past what WAV can hold.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "util/atomic_file.hpp"

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

// WAV keeps its sizes in 32 bits, so a file past 4 GiB needs RF64 (WAV with
// 64-bit sizes). rf64_or_wav starts as RF64 and is rewritten as WAV on close
// when it stayed small: for recordings, whose length is not known in advance.
enum class wav_container { wav, rf64, rf64_or_wav };

// The container for a file whose length is known: WAV while the whole file
// (frames of `bytes_per_frame` and a header) fits WAV's 32-bit sizes.
wav_container container_for_length(long long frames, int bytes_per_frame);

struct sndfile_handle;

// A render or recording being written: under a temporary name beside the
// target, every write checked, renamed into place by finish() only when the
// file is whole and reads back with every frame. A path that names an
// existing device or pipe (/dev/null) is written directly. Main thread (or
// one thread at a time).
class sound_writer {
  public:
    sound_writer();
    ~sound_writer(); // an unfinished file's temporary is removed
    sound_writer(const sound_writer&) = delete;
    sound_writer& operator=(const sound_writer&) = delete;

    // Stereo 16-bit, or mono 32-bit float, at 44 100 Hz. False with `error` set.
    bool open(const std::string& path, int channels, bool float_samples, wav_container container,
              std::string& error);
    // False with `error` set when not all frames were written.
    bool write(const std::int16_t* frames, long long count, std::string& error);
    bool write(const float* values, long long count, std::string& error);
    // Closes, checks and puts the file in place. False with `error` set, the
    // target untouched and the temporary removed.
    bool finish(std::string& error);
    long long frames() const { return written_; }

  private:
    bool wrote(long long done, long long count, std::string& error);
    atomic_output temporary_; // declared first: the file closes before it goes
    std::unique_ptr<sndfile_handle> file_;
    std::string path_; // as the user named it, for messages
    int channels_ = 0;
    long long written_ = 0;
    bool direct_ = false; // a device or pipe: no temporary, no reading back
};

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
