#include "audio/record_drain.hpp"

#include <chrono>
#include <cstdio>

#include "engine/engine_state.hpp"

namespace tmod {

namespace {
// Far below what the tap holds, and long enough to write in large pieces.
constexpr auto drain_period = std::chrono::milliseconds(20);
constexpr int block_frames = 4096;
} // namespace

record_drain::record_drain(frame_fifo& tap, sound_writer& file, std::string name)
    : tap_(tap), file_(file), name_(std::move(name)), block_(2 * block_frames) {}

record_drain::~record_drain() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void record_drain::start() {
    thread_ = std::thread([this] { run(); });
}

void record_drain::drain() {
    std::string error;
    for (;;) {
        const int n = tap_.pop(block_.data(), block_frames);
        if (n == 0) return;
        // After a failed write the take is lost anyway: the tap is still
        // emptied so that nothing more counts as lost.
        if (failed_ || file_.write(block_.data(), n, error)) continue;
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        failed_ = true;
    }
}

void record_drain::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        drain();
        lock.lock();
        wake_.wait_for(lock, drain_period, [this] { return stopping_; });
    }
    const bool finishing = finishing_;
    lock.unlock();
    // What was pushed before the stop was asked is all there now.
    drain();
    if (!finishing || failed_) return;
    std::string error;
    if (!file_.finish(error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        failed_ = true;
    }
}

bool record_drain::finish() {
    if (!thread_.joinable()) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = finishing_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (failed_) return false;
    const long long n = lost();
    if (n == 0) return true;
    std::fprintf(stderr,
                 "tmodular: %lld frames (%.2f s) of the take were lost before they could be "
                 "written to %s; the file has gaps there\n",
                 n, static_cast<double>(n) / sample_rate, name_.c_str());
    return false;
}

} // namespace tmod
