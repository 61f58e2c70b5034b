#include "util/sound_file.hpp"

#include <cmath>
#include <cstdio>
#include <samplerate.h>
#include <vector>

#include <cstdio>
#include <sndfile.h>
#include <vector>

#include "util/alloc_tracker.hpp"
#include "util/text.hpp"

namespace tmod {

void tracked_buffer_deleter::operator()(std::int16_t* p) const {
    tracked_free_array(p);
}

bool load_sound_file(const char* file_name, decoded_sound& out) {
    SF_INFO info{};
    SNDFILE* f = is_regular_file(file_name) ? sf_open(file_name, SFM_READ, &info) : nullptr;
    if (!f) {
        std::printf("Oula FSOUND_Sample_Load de [%s] retourn 0\n", file_name);
        return false;
    }
    if (info.frames < 1 || info.channels < 1) {
        sf_close(f);
        std::printf("Oula FSOUND_Sample_GetLength de [%s] retourn 0 comme taille\n", file_name);
        return false;
    }
    // Play positions are 32-bit floats counted in values: keep the sample
    // within what they address exactly (2^24 values, over three minutes).
    const sf_count_t max_frames = (1 << 24) / 2;
    const sf_count_t frames = info.frames < max_frames ? info.frames : max_frames;
    const int kept = info.channels > 2 ? 2 : info.channels;
    std::vector<short> all(static_cast<std::size_t>(frames) *
                           static_cast<std::size_t>(info.channels));
    const sf_count_t got = sf_readf_short(f, all.data(), frames);
    sf_close(f);
    if (got < 1) {
        std::printf("Probleme de Lock du sample [%s] \n", file_name);
        return false;
    }
    const std::size_t values = static_cast<std::size_t>(got) * static_cast<std::size_t>(kept);
    out.data.reset(static_cast<std::int16_t*>(
        tracked_alloc_array(values * sizeof(std::int16_t), __FILE__, __LINE__)));
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i)
        for (int c = 0; c < kept; ++c) out.data[i * kept + c] = all[i * info.channels + c];
    out.frames = static_cast<int>(got);
    out.channels = kept;
    out.rate = info.samplerate;
    return true;
}

std::int16_t float_to_sample(float x) {
    const float v = std::nearbyint(x * 32768.0f);
    if (!(v == v)) return 0;
    if (v >= 32767.0f) return 32767;
    if (v <= -32768.0f) return -32768;
    return static_cast<std::int16_t>(v);
}

bool convert_to_rate(const char* file_name, decoded_sound& sound, int sample_rate, int max_frames) {
    if (sound.rate == sample_rate || !sound.data || sound.frames < 1) return true;
    const double ratio = sound.rate > 0 ? static_cast<double>(sample_rate) / sound.rate : 0.0;
    const int channels = sound.channels;
    int error = 0;
    const auto refuse = [&] {
        std::printf("SAMPLER: [%s] at %d Hz cannot be converted to %d Hz\n", file_name, sound.rate,
                    sample_rate);
        return false;
    };
    SRC_STATE* state =
        src_is_valid_ratio(ratio) ? src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error) : nullptr;
    if (!state) return refuse();
    const double wanted = std::ceil(sound.frames * ratio);
    const long room = wanted < max_frames ? static_cast<long>(wanted) : max_frames;
    sample_buffer out(static_cast<std::int16_t*>(tracked_alloc_array(
        static_cast<std::size_t>(room) * channels * sizeof(std::int16_t), __FILE__, __LINE__)));

    // In chunks, so a long sample never needs a float copy of the whole.
    constexpr long chunk = 16384;
    std::vector<float> in_f(static_cast<std::size_t>(chunk) * channels);
    std::vector<float> out_f(static_cast<std::size_t>(chunk) * channels);
    const std::int16_t* from = sound.data.get();
    long left = sound.frames, done = 0, held = 0; // held: frames in in_f not yet used
    const float* next = in_f.data();
    while (done < room) {
        if (held == 0 && left > 0) {
            held = left < chunk ? left : chunk;
            for (long i = 0; i < held * channels; ++i)
                in_f[static_cast<std::size_t>(i)] = sample_to_float(from[i]);
            from += held * channels;
            left -= held;
            next = in_f.data();
        }
        SRC_DATA d{};
        d.data_in = next;
        d.input_frames = held;
        d.data_out = out_f.data();
        d.output_frames = room - done < chunk ? room - done : chunk;
        d.end_of_input = left == 0;
        d.src_ratio = ratio;
        if ((error = src_process(state, &d)) != 0) break;
        for (long i = 0; i < d.output_frames_gen * channels; ++i)
            out[static_cast<std::size_t>(done * channels + i)] =
                float_to_sample(out_f[static_cast<std::size_t>(i)]);
        done += d.output_frames_gen;
        next += d.input_frames_used * channels;
        held -= d.input_frames_used;
        if (d.input_frames_used == 0 && d.output_frames_gen == 0) break; // drained
    }
    src_delete(state);
    if (error != 0 || done < 1) return refuse();
    sound.data = std::move(out);
    sound.frames = static_cast<int>(done);
    return true;
}

} // namespace tmod
