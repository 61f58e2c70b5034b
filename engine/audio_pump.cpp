#include "engine/audio_pump.hpp"

#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/engine_state.hpp"
#include "engine/generator.hpp"

namespace tmod {

std::int16_t frame_sample(float sum, int generator_count) {
    const double out = static_cast<double>(sum) * 32767.0 * generator_count / 2.5;
    if (!std::isfinite(out)) return 0;
    if (out >= 32767.0) return 32767;
    if (out <= -32768.0) return -32768;
    return static_cast<std::int16_t>(out); // truncation toward zero
}

bool audio_pump::callback(void* buffer, int length) {
    if (!audio_enabled) return true;
    const int frames = length / bytes_per_frame;
    auto* out = static_cast<std::int16_t*>(buffer);
    std::unique_lock<std::recursive_mutex> lock(patch_mutex(), std::try_to_lock);
    if (!lock.owns_lock()) {
        // A load or clear is replacing the patch: this buffer is silence.
        std::memset(out, 0, static_cast<std::size_t>(frames) * bytes_per_frame);
        if (value_tap) std::memset(value_tap, 0, static_cast<std::size_t>(frames) * sizeof(float));
        return true;
    }
    for (int f = 0; f < frames; ++f) {
        float sum = 0.0f;
        for (const auto& slot : generator_table) {
            if (GENERATOR* g = slot.load()) {
                g->GENERATOR::compute();
                sum = sum + g->value.load() / static_cast<float>(generator_count);
            }
        }
        // Published after the tick: MICRO hears it from the next frame on.
        current_input_sample = 0;
        const std::int16_t s = frame_sample(sum, generator_count);
        out[2 * f] = s;
        out[2 * f + 1] = s;
        if (value_tap) value_tap[f] = sum;
    }
    return true;
}

} // namespace tmod
