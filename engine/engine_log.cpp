#include "engine/engine_log.hpp"

#include <cstdio>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

#include "util/messages.hpp"
#include "util/no_follow_file.hpp"

namespace tmod {

namespace {
bool write_all(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool ends_with_full_line(int fd, long long size) {
    const auto n = static_cast<long long>(engine_log_full_line.size());
    if (size < n) return false;
    char tail[engine_log_full_line.size()];
    return ::pread(fd, tail, sizeof tail, size - n) == n &&
           std::string_view(tail, sizeof tail) == engine_log_full_line;
}
std::mutex one_line_at_a_time;
bool refusal_said = false; // guarded by one_line_at_a_time

// A refusal is said once, not on every remote line.
void say_refused(const std::string& path, const std::string& why) {
    if (!refusal_said)
        std::fprintf(stderr, "tmodular: %s is not written: %s\n", path.c_str(), why.c_str());
    refusal_said = true;
}
} // namespace

std::FILE* open_engine_log(const std::string& path) {
    std::lock_guard<std::mutex> hold(one_line_at_a_time);
    std::string why;
    std::FILE* f = fopen_no_follow(path.c_str(), write_mode::append, why);
    if (!f) say_refused(path, why);
    return f;
}

bool append_engine_log(const std::string& path, std::string_view text) {
    std::lock_guard<std::mutex> hold(one_line_at_a_time);
    std::string why;
    const int fd = open_no_follow(path.c_str(), write_mode::append, why, true);
    if (fd < 0) {
        say_refused(path, why);
        return false;
    }
    refusal_said = false;
    struct stat st {};
    bool written = false;
    if (::fstat(fd, &st) == 0) {
        const long long size = st.st_size, room = engine_log_limit - size;
        const auto full = static_cast<long long>(engine_log_full_line.size());
        if (static_cast<long long>(text.size()) + full <= room) {
            written = write_all(fd, text);
        } else if (full <= room && !ends_with_full_line(fd, size)) {
            write_all(fd, engine_log_full_line);
            say("tmodular: %s reached its limit of %lld MiB; later lines are not written "
                        "to it\n",
                        path.c_str(), engine_log_limit >> 20);
            std::fflush(stdout);
        }
    }
    return ::close(fd) == 0 && written;
}

} // namespace tmod
