#include "app/render_file.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/timed_events.hpp"
#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/sound_offline.hpp"
#include "engine/audio_log.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "remote/play_command.hpp"
#include "util/sound_file.hpp"

namespace tmod {

bool render_to_file(audio_pump& pump, const char* out_path, const render_options& options) {
    const long long total = std::llround(options.seconds * sample_rate);
    const int channels = options.float_output ? 1 : 2;
    const int file_frame_bytes = options.float_output ? 4 : 2 * 2;
    sound_writer out;
    std::string error;
    if (!out.open(out_path, channels, options.float_output,
                  container_for_length(total, file_frame_bytes), error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return false;
    }

    constexpr int block = stream_buffer_bytes / bytes_per_frame;
    std::vector<std::int16_t> frames(2 * block);
    std::vector<float> values(block);
    pump.value_tap = options.float_output ? values.data() : nullptr;
    held_notes held;

    std::size_t next_event = 0;
    int last_percent = -1;
    for (long long done = 0; done < total;) {
        // Events due at this frame are applied just before it is computed.
        next_event = apply_due_events(options.events, next_event, done, pump, held);
        long long n = std::min<long long>(block, total - done);
        if (next_event < options.events.size())
            n = std::min(n, options.events[next_event].frame - done);
        if (options.source)
            options.source->pull(frames.data(), static_cast<int>(n));
        else
            pump.callback(frames.data(), static_cast<int>(n) * bytes_per_frame);
        if (options.float_output) {
            // As the 16-bit conversion does, a value that is not a number is silence.
            for (long long i = 0; i < n; ++i)
                if (!std::isfinite(values[i])) values[i] = 0.0f;
        }
        const bool written = options.float_output ? out.write(values.data(), n, error)
                                                  : out.write(frames.data(), n, error);
        if (!written ||
            (options.interrupted && options.interrupted->load(std::memory_order_relaxed))) {
            if (written) error = std::string("the render of ") + out_path + " was interrupted";
            if (options.progress) std::fprintf(stderr, "\n");
            std::fprintf(stderr, "tmodular: %s; nothing was written\n", error.c_str());
            pump.value_tap = nullptr;
            return false;
        }
        done += n;
        audio_log_flush();
        if (options.progress) {
            const int percent = static_cast<int>(100 * done / total);
            if (percent != last_percent) {
                std::fprintf(stderr, "\rRendering %s: %3d%%", out_path, percent);
                last_percent = percent;
            }
        }
    }
    if (options.progress) std::fprintf(stderr, "\n");
    pump.value_tap = nullptr;
    if (!out.finish(error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return false;
    }
    return true;
}

} // namespace tmod
