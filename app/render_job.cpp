#include "app/render_job.hpp"

#include <cstdio>
#include <memory>
#include <string>

#include "app/command_line.hpp"
#include "app/render_file.hpp"
#include "app/startup.hpp"
#include "app/stop_signals.hpp"
#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/sound_offline.hpp"
#include "audio/sound_system.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"

namespace tmod {

int render_job(const options& o) {
    render_options ro;
    ro.seconds = o.seconds;
    ro.float_output = o.float_output;
    ro.progress = ::isatty(STDERR_FILENO) && o.seconds >= 5.0;
    std::string error;
    if (!outputs_spare_inputs(o, error)) {
        std::fprintf(stderr, "tmodular: %s\n%s", error.c_str(), usage_line());
        return 2;
    }
    if (!o.events.empty() && !read_events(o.events.c_str(), ro.events, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 2;
    }
    auto backend = std::make_unique<offline_backend>(o.input);
    offline_backend* source = backend.get();
    if (!source->open_file(error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 1;
    }
    GENERATOR g;
    if (const int status = load_start_patch(g, o); status >= 0) return status;
    sound_system sound;
    sound.backend_factory = [&backend](output_kind) {
        return std::unique_ptr<sound_backend>(std::move(backend));
    };
    audio_pump pump;
    std::unique_ptr<capture> ring;
    if (!sound.set_output(output_kind::offline) || !sound.init() ||
        !sound.stream_create(&audio_pump::stream_callback, &pump, stream_buffer_bytes, 0) ||
        (!o.input.empty() && !sound.record_start(capture_ring_frames))) {
        std::fprintf(stderr, "tmodular: %s\n", sound_error_text(sound.error()));
        return 1;
    }
    if (sound.recording()) {
        ring = std::make_unique<capture>(*sound.recording());
        pump.input = ring.get();
    }
    ro.source = source;
    // A signal ends the render with its temporary removed.
    stop_signals signals;
    ro.interrupted = &stop_signals::received();
    pump.generator_table[0] = &g;
    const bool ok = render_to_file(pump, o.render.c_str(), ro);
    pump.generator_table[0] = nullptr;
    pump.input = nullptr;
    return ok ? 0 : 1;
}

} // namespace tmod
