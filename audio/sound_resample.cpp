#include "audio/sound_resample.hpp"

#include <cmath>
#include <samplerate.h>

#include "audio/sound_system.hpp"
#include "util/sound_file.hpp"
#include "engine/engine_state.hpp"

namespace tmod {

output_resampler::~output_resampler() {
    if (state_) src_delete(state_);
}

bool output_resampler::open(int device_rate, int chunk_frames, source src, void* user) {
    if (device_rate <= 0 || chunk_frames <= 0 || !src) return false;
    int error = 0;
    state_ = src_callback_new(&output_resampler::supply, SRC_SINC_FASTEST, 2, &error, this);
    if (!state_) return false;
    ratio_ = static_cast<double>(device_rate) / sample_rate;
    src_ = src;
    user_ = user;
    chunk16_.assign(2 * static_cast<std::size_t>(chunk_frames), 0);
    chunk_.assign(2 * static_cast<std::size_t>(chunk_frames), 0.0f);
    out_.assign(2 * 1024, 0.0f);
    return true;
}

long output_resampler::supply(void* self, float** data) {
    auto* r = static_cast<output_resampler*>(self);
    const int frames = static_cast<int>(r->chunk16_.size() / 2);
    r->src_(r->user_, r->chunk16_.data(), frames);
    for (std::size_t i = 0; i < r->chunk16_.size(); ++i)
        r->chunk_[i] = sample_to_float(r->chunk16_[i]);
    *data = r->chunk_.data();
    return frames;
}

void output_resampler::pull(std::int16_t* stereo, int frames) {
    const int room = static_cast<int>(out_.size() / 2);
    while (frames > 0) {
        const long want = frames < room ? frames : room;
        long got = src_callback_read(state_, ratio_, want, out_.data());
        if (got <= 0) {
            // Cannot happen with an endless source; keep the device fed anyway.
            for (long i = 0; i < 2 * want; ++i) stereo[i] = 0;
            got = want;
        } else {
            for (long i = 0; i < 2 * got; ++i)
                stereo[i] = float_to_sample(out_[static_cast<std::size_t>(i)]);
        }
        stereo += 2 * got;
        frames -= static_cast<int>(got);
    }
}

input_resampler::~input_resampler() {
    if (state_) src_delete(state_);
}

bool input_resampler::open(int device_rate, int max_frames) {
    if (device_rate <= 0 || max_frames <= 0) return false;
    int error = 0;
    state_ = src_new(SRC_SINC_FASTEST, 2, &error);
    if (!state_) return false;
    ratio_ = static_cast<double>(sample_rate) / device_rate;
    max_frames_ = max_frames;
    in_.assign(2 * static_cast<std::size_t>(max_frames), 0.0f);
    const std::size_t out_frames = static_cast<std::size_t>(std::ceil(max_frames * ratio_)) + 64;
    out_.assign(2 * out_frames, 0.0f);
    out16_.assign(2 * out_frames, 0);
    return true;
}

void input_resampler::push(const std::int16_t* stereo, int frames, record_buffer& out) {
    while (frames > 0) {
        const int n = frames < max_frames_ ? frames : max_frames_;
        for (int i = 0; i < 2 * n; ++i)
            in_[static_cast<std::size_t>(i)] = sample_to_float(stereo[i]);
        SRC_DATA d{};
        d.data_in = in_.data();
        d.input_frames = n;
        d.data_out = out_.data();
        d.output_frames = static_cast<long>(out_.size() / 2);
        d.src_ratio = ratio_;
        const float* from = in_.data();
        long left = n;
        while (left > 0) {
            d.data_in = from;
            d.input_frames = left;
            if (src_process(state_, &d) != 0) return;
            for (long i = 0; i < 2 * d.output_frames_gen; ++i)
                out16_[static_cast<std::size_t>(i)] =
                    float_to_sample(out_[static_cast<std::size_t>(i)]);
            if (d.output_frames_gen > 0)
                out.write(out16_.data(), static_cast<int>(d.output_frames_gen));
            if (d.input_frames_used == 0 && d.output_frames_gen == 0) break;
            from += 2 * d.input_frames_used;
            left -= d.input_frames_used;
        }
        stereo += 2 * n;
        frames -= n;
    }
}

} // namespace tmod
