#include "app/timed_events.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "audio/audio_pump.hpp"
#include "engine/engine_state.hpp"
#include "remote/play_command.hpp"

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

std::size_t apply_due_events(const std::vector<timed_event>& events, std::size_t next,
                             long long frame, audio_pump& pump, held_notes& held) {
    for (; next < events.size() && events[next].frame <= frame; ++next)
        apply_play_command(events[next].command, pump.generator_table, audio_pump::generator_count,
                           held);
    return next;
}

} // namespace tmod
