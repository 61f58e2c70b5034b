#include "app/render.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sndfile.h>
#include <vector>

#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/sound_offline.hpp"
#include "engine/audio_log.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "remote/play_command.hpp"

namespace tmod {

bool read_events(const char* path, std::vector<timed_event>& events, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = std::string("cannot read the events file ") + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        char* end = nullptr;
        const double seconds = std::strtod(line.c_str() + start, &end);
        const std::size_t command_at =
            line.find_first_not_of(" \t", static_cast<std::size_t>(end - line.c_str()));
        if (end == line.c_str() + start || !std::isfinite(seconds) || seconds < 0 ||
            seconds > 86400.0 * 365 || command_at == std::string::npos) {
            error =
                std::string(path) + ":" + std::to_string(number) + ": expected \"SECONDS COMMAND\"";
            return false;
        }
        events.push_back({std::llround(seconds * 44100.0), line.substr(command_at)});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const timed_event& a, const timed_event& b) { return a.frame < b.frame; });
    return true;
}

namespace {
struct sndfile_closer {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
} // namespace

bool render_to_file(audio_pump& pump, const char* out_path, const render_options& options) {
    const long long total = std::llround(options.seconds * 44100.0);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = options.float_output ? 1 : 2;
    info.format = SF_FORMAT_WAV | (options.float_output ? SF_FORMAT_FLOAT : SF_FORMAT_PCM_16);
    std::unique_ptr<SNDFILE, sndfile_closer> out(sf_open(out_path, SFM_WRITE, &info));
    if (!out) {
        std::fprintf(stderr, "tmodular: cannot write %s: %s\n", out_path, sf_strerror(nullptr));
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
        while (next_event < options.events.size() && options.events[next_event].frame <= done) {
            apply_play_command(options.events[next_event].command, pump.generator_table,
                               audio_pump::generator_count, held);
            ++next_event;
        }
        long long n = std::min<long long>(block, total - done);
        if (next_event < options.events.size())
            n = std::min(n, options.events[next_event].frame - done);
        if (options.source)
            options.source->pull(frames.data(), static_cast<int>(n));
        else
            pump.callback(frames.data(), static_cast<int>(n) * bytes_per_frame);
        const sf_count_t written = options.float_output
                                       ? sf_writef_float(out.get(), values.data(), n)
                                       : sf_writef_short(out.get(), frames.data(), n);
        if (written != n) {
            std::fprintf(stderr, "tmodular: cannot write %s: %s\n", out_path,
                         sf_strerror(out.get()));
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
    return true;
}

} // namespace tmod

#include <unistd.h>

#include "app/command_line.hpp"
#include "patchfile/patch_reader.hpp"

namespace tmod {

int render_job(const options& o) {
    render_options ro;
    ro.seconds = o.seconds;
    ro.float_output = o.float_output;
    ro.progress = ::isatty(STDERR_FILENO) && o.seconds >= 5.0;
    std::string error;
    if (!o.events.empty() && !read_events(o.events.c_str(), ro.events, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 2;
    }
    const std::string patch = o.patch.empty() ? "TSY/EMPTY.tsy" : o.patch;
    auto backend = std::make_unique<offline_backend>(o.input);
    offline_backend* source = backend.get();
    if (!source->open_file(error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 1;
    }
    GENERATOR g;
    if (load_patch(g, patch.c_str()) == load_failed) {
        std::fprintf(stderr, "tmodular: cannot load the patch %s\n", patch.c_str());
        return 1;
    }
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
    pump.generator_table[0] = &g;
    const bool ok = render_to_file(pump, o.render.c_str(), ro);
    pump.generator_table[0] = nullptr;
    pump.input = nullptr;
    return ok ? 0 : 1;
}

} // namespace tmod
