// The signals that end a job cleanly instead of by their default action, which
// would kill the process with a render's or a take's temporary file half
// written. One table, read by every job and by the device console.
#pragma once

#include <atomic>
#include <csignal>
#include <cstddef>

namespace tmod {

// Every catchable signal whose default ends the process, except those that
// report a fault of the program itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT, SIGSYS, SIGTRAP), SIGQUIT (kept for its core dump, which is how a
// hung program is examined) and the profilers' SIGPROF and SIGVTALRM.
constexpr int stop_signal_table[] = {
    SIGHUP,    SIGINT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ, SIGIO,
#ifdef SIGPWR
    SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};
constexpr std::size_t stop_signal_count = sizeof stop_signal_table / sizeof stop_signal_table[0];

// While it lives, every signal of the table only counts (system calls are
// restarted); the old handlers come back after. One at a time per process;
// made and destroyed on the main thread.
class stop_signals {
  public:
    stop_signals();
    ~stop_signals();
    stop_signals(const stop_signals&) = delete;
    stop_signals& operator=(const stop_signals&) = delete;

    // The signals received since it was made (any thread may have taken them).
    static const std::atomic<int>& received();

  private:
    struct sigaction saved_[stop_signal_count];
};

} // namespace tmod
