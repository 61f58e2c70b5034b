#include "app/console_keys.hpp"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace tmod {

namespace {
// A terminal left without echo after Ctrl-C would be unusable: restore it
// before the default action of the signal.
int raw_fd = -1;
termios raw_saved;
struct sigaction old_int, old_term;

void restore_and_reraise(int sig) {
    if (raw_fd >= 0) tcsetattr(raw_fd, TCSANOW, &raw_saved);
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
    raise(sig);
}
} // namespace

console_keys::console_keys(int fd) : fd_(fd) {
    if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw_saved = saved_;
    raw_fd = fd_;
    struct sigaction sa {};
    sa.sa_handler = restore_and_reraise;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &old_int);
    sigaction(SIGTERM, &sa, &old_term);
    raw_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
}

console_keys::~console_keys() {
    if (!raw_) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    raw_fd = -1;
    sigaction(SIGINT, &old_int, nullptr);
    sigaction(SIGTERM, &old_term, nullptr);
}

int console_keys::get() {
    unsigned char c = 0;
    for (;;) {
        const ssize_t n = read(fd_, &c, 1);
        if (n == 1) return c;
        if (n < 0 && errno == EINTR) continue;
        return key_escape;
    }
}

} // namespace tmod
