#include "app/stop_signals.hpp"

namespace tmod {

namespace {
std::atomic<int> stops{0};
static_assert(std::atomic<int>::is_always_lock_free, "the handler must not take a lock");

void on_stop_signal(int) {
    stops.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

stop_signals::stop_signals() {
    stops.store(0, std::memory_order_relaxed);
    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sa.sa_flags = SA_RESTART;
    sigemptyset(&sa.sa_mask);
    for (int sig : stop_signal_table) sigaddset(&sa.sa_mask, sig);
    for (std::size_t i = 0; i < stop_signal_count; ++i)
        sigaction(stop_signal_table[i], &sa, &saved_[i]);
}

stop_signals::~stop_signals() {
    for (std::size_t i = 0; i < stop_signal_count; ++i)
        sigaction(stop_signal_table[i], &saved_[i], nullptr);
}

const std::atomic<int>& stop_signals::received() {
    return stops;
}

} // namespace tmod
