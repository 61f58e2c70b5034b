#include "audio/sound_offline.hpp"

#include <algorithm>
#include <sndfile.h>

#include "engine/engine_state.hpp"

namespace tmod {

namespace {
constexpr int chunk_frames = 4096;
}

offline_backend::offline_backend(std::string input_path) : path_(std::move(input_path)) {}

offline_backend::~offline_backend() {
    if (input_) sf_close(input_);
}

bool offline_backend::open_file(std::string& error) {
    if (path_.empty()) return true;
    SF_INFO info{};
    input_ = sf_open(path_.c_str(), SFM_READ, &info);
    if (!input_) {
        error = "cannot read the input " + path_ + ": " + sf_strerror(nullptr);
        return false;
    }
    if (info.samplerate != sample_rate || info.channels < 1) {
        error =
            "the input " + path_ + " is at " + std::to_string(info.samplerate) +
            " Hz; the engine runs at 44100 Hz (convert it first, e.g. sox IN.wav -r 44100 OUT.wav)";
        sf_close(input_);
        input_ = nullptr;
        return false;
    }
    channels_ = info.channels;
    file_frames_.assign(
        static_cast<std::size_t>(chunk_frames) * static_cast<std::size_t>(channels_), 0);
    stereo_.assign(2 * static_cast<std::size_t>(chunk_frames), 0);
    return true;
}

int offline_backend::open_output(sound_system& owner, int, int block_frames, stream_info& info) {
    owner_ = &owner;
    info.device = driver_name(0);
    info.block_frames = block_frames;
    info.device_rate = sample_rate;
    info.latency_frames = 0;
    return sound_ok;
}

int offline_backend::open_input(int, record_buffer& buffer) {
    if (!input_) return sound_record_unsupported;
    record_ = &buffer;
    return sound_ok;
}

void offline_backend::pull(std::int16_t* stereo, int frames) {
    for (int done = 0; record_ && input_ && done < frames;) {
        const int n = std::min(frames - done, chunk_frames);
        const sf_count_t got = sf_readf_short(input_, file_frames_.data(), n);
        for (int i = 0; i < n; ++i) {
            const std::size_t at =
                static_cast<std::size_t>(i) * static_cast<std::size_t>(channels_);
            const short l = i < got ? file_frames_[at] : 0;
            const short r = i < got ? file_frames_[channels_ > 1 ? at + 1 : at] : 0;
            stereo_[2 * static_cast<std::size_t>(i)] = l;
            stereo_[2 * static_cast<std::size_t>(i) + 1] = r;
        }
        record_->write(stereo_.data(), n);
        done += n;
    }
    owner_->render(stereo, frames);
}

} // namespace tmod
