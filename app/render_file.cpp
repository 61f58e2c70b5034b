#include "app/render_file.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/pass_service.hpp"
#include "audio/audio_pump.hpp"
#include "audio/capture.hpp"
#include "audio/sound_offline.hpp"
#include "engine/audio_log.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "remote/play_command.hpp"
#include "util/sound_file.hpp"

namespace tmod {

namespace {
// The file's text, when it is a regular file within events_max_bytes. Opened
// without blocking, so a FIFO named by mistake is refused instead of waited on.
bool read_events_text(const char* path, std::string& text, std::string& error) {
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot read the events file ") + path;
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        error = std::string("the events file ") + path + " is not a regular file";
        return false;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            error = std::string("cannot read the events file ") + path;
            return false;
        }
        if (n == 0) break;
        text.append(chunk, static_cast<std::size_t>(n));
        // Checked while reading: the file may grow after it was looked at.
        if (static_cast<long long>(text.size()) > events_max_bytes) {
            ::close(fd);
            error = std::string("the events file ") + path + " is larger than " +
                    std::to_string(events_max_bytes >> 20) + " MiB";
            return false;
        }
    }
    ::close(fd);
    return true;
}
} // namespace

bool read_events(const char* path, std::vector<timed_event>& events, std::string& error) {
    std::string text;
    if (!read_events_text(path, text, error)) return false;
    long number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t eol = text.find('\n', at);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(at, eol - at);
        at = eol + 1;
        if (++number > events_max_lines) {
            error = std::string("the events file ") + path + " has more than " +
                    std::to_string(events_max_lines) + " lines";
            return false;
        }
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
        events.push_back({std::llround(seconds * sample_rate), line.substr(command_at)});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const timed_event& a, const timed_event& b) { return a.frame < b.frame; });
    return true;
}

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
        if (!written || (options.interrupted && *options.interrupted)) {
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
