// Helpers of the live-sound suites: a backend whose devices the test names,
// and stereo frames with known samples.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_system.hpp"
#include "support/harness.hpp"

namespace tmod::test {

// Stereo frames whose left samples are `left` and right samples their negation.
inline std::vector<std::int16_t> stereo(const std::vector<int>& left) {
    std::vector<std::int16_t> s;
    for (int v : left) s.push_back(static_cast<std::int16_t>(v)), s.push_back(-s.back());
    return s;
}

// n frames whose left samples count up from `first`, written to the recording.
inline void record(record_buffer& rec, int first, int n) {
    std::vector<int> left(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) left[i] = first + i;
    rec.write(stereo(left).data(), n);
}

// A backend with no thread (the test drives render() itself): the devices
// named, a recording device that records `deliver` counting frames when
// opened, or refuses to open.
struct fake_backend : sound_backend {
    std::vector<std::string> outs{"out"}, ins;
    int deliver = 0;
    bool refuse = false;
    int driver_count() override { return static_cast<int>(outs.size()); }
    std::string driver_name(int i) override { return outs[static_cast<std::size_t>(i)]; }
    int record_driver_count() override { return static_cast<int>(ins.size()); }
    std::string record_driver_name(int i) override { return ins[static_cast<std::size_t>(i)]; }
    int open_output(sound_system&, int, int block, stream_info& info) override {
        info.block_frames = block;
        return sound_ok;
    }
    int start_output() override { return sound_ok; }
    void close_output() override {}
    int open_input(int, record_buffer& buffer) override {
        if (refuse) return sound_record_unsupported;
        if (deliver > 0) record(buffer, 1, deliver);
        return sound_ok;
    }
    void close_input() override {}
};

// Every kind gets a copy of `model`, except the kinds in `empty`: no device.
inline void use_fakes(sound_system& sound, const fake_backend& model,
                      std::vector<output_kind> empty = {}) {
    sound.backend_factory = [model, empty](output_kind k) {
        auto b = std::make_unique<fake_backend>(model);
        if (std::find(empty.begin(), empty.end(), k) != empty.end()) b->outs = b->ins = {};
        return std::unique_ptr<sound_backend>(std::move(b));
    };
}

} // namespace tmod::test
