#include "audio/audio_pump.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <xmmintrin.h>

#include "audio/capture.hpp"
#include "audio/sound_system.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/patch_ops.hpp"
#include "util/messages.hpp"
#include "util/text.hpp"

namespace tmod {

namespace {
// Sets flush-to-zero and denormals-are-zero for its scope, then puts the
// thread's previous floating-point mode back.
class flush_denormals {
  public:
    flush_denormals() : saved_(_mm_getcsr()) { _mm_setcsr(saved_ | 0x8040u); }
    ~flush_denormals() { _mm_setcsr(saved_); }
    flush_denormals(const flush_denormals&) = delete;
    flush_denormals& operator=(const flush_denormals&) = delete;

  private:
    unsigned saved_;
};
} // namespace

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
    // Silence from frame `from` on: a load or clear replaces the patch.
    auto silence = [&](int from) {
        const auto rest = static_cast<std::size_t>(frames - from);
        std::memset(out + 2 * from, 0, rest * bytes_per_frame);
        if (value_tap) std::memset(value_tap + from, 0, rest * sizeof(float));
    };
    std::shared_lock<patch_lock> lock(patch_mutex(), std::try_to_lock);
    if (!lock.owns_lock()) {
        silence(0);
        skipped_buffers = skipped_buffers + 1;
        return true;
    }
    apply_pending_edits();
    // Denormal numbers (a filter's tail fading out) cost a hundred times a
    // normal one: they are flushed to zero while the patch is computed.
    const flush_denormals flush;
    // Only a patch with a MICRO pays for the copy from the recording.
    capture* const ring = input;
    GENERATOR* const first = generator_table[0].load();
    int p = 0;
    if (ring && first && first->count(module_kind::MICRO) > 0) p = ring->read();
    const bool scope = scope_view.load() == 1;
    if (scope) scope_block_frames = frames;

    // A load or the shutdown waits for this buffer at most a stride of
    // frames: the rest is silence.
    constexpr int stride = 64;
    for (int start = 0; start < frames; start += stride) {
        if (start > 0 && !audio_enabled) {
            silence(start);
            break;
        }
        const int end = std::min(frames, start + stride);
        for (int f = start; f < end; ++f) {
            float sum = 0.0f;
            for (const auto& slot : generator_table) {
                if (GENERATOR* g = slot.load()) {
                    g->GENERATOR::compute();
                    sum = sum + g->value.load() / static_cast<float>(generator_count);
                }
            }
            // Published after the tick: MICRO hears it from the next frame on.
            current_input_sample = ring ? ring->left(p) : 0;
            const std::int16_t s = frame_sample(sum, generator_count);
            out[2 * f] = s;
            out[2 * f + 1] = s;
            if (value_tap) value_tap[f] = sum;
            if (ring) p = ring->next(p);
            if (scope) scope_values.push(sum);
        }
    }
    return true;
}

namespace {
bool report(sound_system& sound) {
    say("Error!\n");
    say("%s\n", sound_error_text(sound.error()));
    std::fflush(stdout);
    return false;
}

void print_stream(const sound_system& sound) {
    const stream_info& s = sound.stream();
    say("Sound stream: %s \"%s\", blocks of %d frames (%.1f ms)", kind_menu_name(sound.output()),
        escaped_controls(s.device).c_str(), s.block_frames, s.block_frames * 1000.0 / sample_rate);
    if (s.resampled) say(", resampled from 44100 Hz to the device's %d Hz", s.device_rate);
    if (s.latency_frames > 0)
        say(", latency reported by the backend %ld frames (%.1f ms)\n", s.latency_frames,
            s.latency_frames * 1000.0 / (s.device_rate > 0 ? s.device_rate : sample_rate));
    else
        say(", no latency figure from the backend\n");
}

void detach(audio_pump& pump, sound_system& sound, std::unique_ptr<capture>& ring) {
    {
        patch_edit edit(patch_mutex());
        pump.input = nullptr;
    }
    sound.record_stop();
    ring.reset();
}
} // namespace

bool pump_start(audio_pump& pump, sound_system& sound, std::unique_ptr<capture>& ring,
                const pump_settings& settings, int& exit_status) {
    if (!sound.stream_create(&audio_pump::stream_callback, &pump, stream_buffer_bytes,
                             settings.buffer_frames) ||
        !sound.stream_play()) {
        exit_status = 1;
        return report(sound);
    }
    set_audio_drains_edits(true);
    print_stream(sound);

    if (sound.record_driver() < 0) {
        say("No recording device: playing without input (MICRO hears silence).\n");
        std::fflush(stdout);
        return true;
    }
    if (!sound.record_start(capture_ring_frames)) {
        report(sound);
        sound.close();
        set_audio_drains_edits(false);
        exit_status = -1;
        return false;
    }
    ring = std::make_unique<capture>(*sound.recording());
    {
        patch_edit edit(patch_mutex());
        pump.input = ring.get();
    }
    // A device that delivers nothing must not hang the start.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(settings.record_wait_seconds);
    while (sound.recording()->position() == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            say("No input arrived from the recording device in %.0f s: playing without input.\n",
                settings.record_wait_seconds);
            std::fflush(stdout);
            detach(pump, sound, ring);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void pump_stop(audio_pump& pump, sound_system& sound, std::unique_ptr<capture>& ring) {
    audio_enabled = 0;
    sound.stream_close();
    set_audio_drains_edits(false);
    detach(pump, sound, ring);
    sound.close();
}

} // namespace tmod
