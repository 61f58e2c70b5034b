#include "app/typed_lines.hpp"

#include <algorithm>
#include <poll.h>
#include <unistd.h>

namespace tmod {

namespace {
// A line longer than this is cut there: input is never held without bound.
constexpr std::size_t longest_line = 4096;
} // namespace

bool typed_lines::next(std::string& line) {
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos || pending_.size() >= longest_line ||
            (ended_ && !pending_.empty())) {
            const std::size_t cut = end != std::string::npos ? end : std::min(pending_.size(), longest_line);
            line = pending_.substr(0, cut);
            pending_.erase(0, end != std::string::npos ? end + 1 : cut);
            return true;
        }
        if (ended_) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP))) return false;
        char buffer[1024];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got <= 0) {
            ended_ = true;
            continue;
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
}

} // namespace tmod
