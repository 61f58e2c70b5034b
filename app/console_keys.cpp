#include "app/console_keys.hpp"

#include <cerrno>
#include <csignal>
#include <unistd.h>

#include "app/stop_signals.hpp"

namespace tmod {

namespace {
// A terminal left without echo after Ctrl-C would be unusable: restore it
// before the default action of the signal.
int raw_fd = -1;
termios raw_saved;
struct sigaction old_actions[stop_signal_count];

void put_back_handlers() {
    for (std::size_t i = 0; i < stop_signal_count; ++i)
        sigaction(stop_signal_table[i], &old_actions[i], nullptr);
}

void restore_and_reraise(int sig) {
    if (raw_fd >= 0) tcsetattr(raw_fd, TCSANOW, &raw_saved);
    put_back_handlers();
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
    for (int sig : stop_signal_table) sigaddset(&sa.sa_mask, sig);
    for (std::size_t i = 0; i < stop_signal_count; ++i)
        sigaction(stop_signal_table[i], &sa, &old_actions[i]);
    raw_ = tcsetattr(fd_, TCSANOW, &raw) == 0;
}

console_keys::~console_keys() {
    if (!raw_) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    raw_fd = -1;
    put_back_handlers();
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
