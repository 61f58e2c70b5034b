// The nosound backend: a thread that pulls blocks through the callback at
// real-time pace and discards them. It works on any machine, with or without a
// sound card, and offers no recording device.
#include <chrono>
#include <thread>
#include <vector>

#include "audio/sound_system.hpp"

namespace tmod {

namespace {

class nosound_backend : public sound_backend {
  public:
    ~nosound_backend() override { close_output(); }

    int driver_count() override { return 1; }
    std::string driver_name(int) override { return "Null output (the sound is discarded)"; }
    int record_driver_count() override { return 0; }
    std::string record_driver_name(int) override { return std::string(); }

    int open_output(sound_system& owner, int, int block_frames, stream_info& info) override {
        owner_ = &owner;
        block_ = block_frames;
        buffer_.assign(2 * static_cast<std::size_t>(block_frames), 0);
        info.device = driver_name(0);
        info.block_frames = block_frames;
        info.device_rate = sample_rate;
        info.latency_frames = block_frames;
        return sound_ok;
    }

    int start_output() override {
        if (thread_.joinable()) return sound_ok;
        running_ = true;
        thread_ = std::thread([this] { run(); });
        return sound_ok;
    }

    void close_output() override {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

    int open_input(int, record_buffer&) override { return sound_record_unsupported; }
    void close_input() override {}

  private:
    void run() {
        using clock = std::chrono::steady_clock;
        const auto period = std::chrono::duration_cast<clock::duration>(
            std::chrono::duration<double>(block_ / static_cast<double>(sample_rate)));
        auto next = clock::now();
        while (running_) {
            owner_->render(buffer_.data(), block_);
            next += period;
            const auto now = clock::now();
            // More than a block late: the computation could not keep up.
            if (now > next + period) {
                owner_->count_underrun();
                next = now;
            }
            std::this_thread::sleep_until(next);
        }
    }

    sound_system* owner_ = nullptr;
    int block_ = 4096;
    std::vector<std::int16_t> buffer_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace

std::unique_ptr<sound_backend> make_nosound_backend() {
    return std::make_unique<nosound_backend>();
}

} // namespace tmod
