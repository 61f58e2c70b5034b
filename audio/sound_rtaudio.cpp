// The rtaudio backend: ALSA, PulseAudio and JACK through RtAudio. When the
// recording device is the output device, one duplex stream carries both, so
// each block's input is recorded just before the pump reads it; otherwise the
// recording is a stream of its own. A device that cannot run at 44 100 Hz is
// opened at its own rate and resampled, so the patch keeps its pitch.
//
// RtAudio reports failures by exceptions; they are caught here and turned into
// the sound system's error codes, with RtAudio's text on standard error.
#include <RtAudio.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/sound_resample.hpp"
#include "audio/sound_system.hpp"
#include "engine/engine_state.hpp"

namespace tmod {

namespace {

bool api_of(output_kind k, RtAudio::Api& api) {
    switch (k) {
    case output_kind::alsa:
        api = RtAudio::LINUX_ALSA;
        return true;
    case output_kind::pulse:
        api = RtAudio::LINUX_PULSE;
        return true;
    case output_kind::jack:
        api = RtAudio::UNIX_JACK;
        return true;
    default:
        return false;
    }
}

// RtAudio's error callback has no user pointer and may run on its threads:
// keep the last problem here for the main thread to print.
std::mutex problem_mutex;
std::string problem_text;

void on_rtaudio_error(RtAudioError::Type type, const std::string& text) {
    if (type == RtAudioError::WARNING || type == RtAudioError::DEBUG_WARNING) return;
    std::lock_guard<std::mutex> lock(problem_mutex);
    problem_text = text;
}

// The rate to open a device at: 44 100 Hz when it has it, else its own.
unsigned int device_rate(const RtAudio::DeviceInfo& info) {
    const auto& rates = info.sampleRates;
    if (std::find(rates.begin(), rates.end(), static_cast<unsigned>(sample_rate)) != rates.end())
        return sample_rate;
    if (info.preferredSampleRate) return info.preferredSampleRate;
    return rates.empty() ? 0 : rates.back();
}

struct device {
    unsigned int id;
    std::string name;
};

class rtaudio_backend : public sound_backend {
  public:
    explicit rtaudio_backend(RtAudio::Api api) : api_(api) {}
    ~rtaudio_backend() override {
        close_input();
        close_output();
    }

    int driver_count() override { return static_cast<int>(probe().outputs.size()); }
    std::string driver_name(int i) override {
        return probe().outputs[static_cast<std::size_t>(i)].name;
    }
    int default_driver() override { return default_of(probe().outputs, probe().default_output); }
    int record_driver_count() override { return static_cast<int>(probe().inputs.size()); }
    std::string record_driver_name(int i) override {
        return probe().inputs[static_cast<std::size_t>(i)].name;
    }
    int default_record_driver() override {
        return probe().inputs.empty() ? -1 : default_of(probe().inputs, probe().default_input);
    }

    void plan_recording(int record_driver) override { planned_record_ = record_driver; }

    int open_output(sound_system& owner, int driver, int block_frames, stream_info& info) override {
        owner_ = &owner;
        const std::string& name = probe().outputs[static_cast<std::size_t>(driver)].name;
        duplex_ = planned_record_ >= 0 &&
                  probe().inputs[static_cast<std::size_t>(planned_record_)].name == name;
        try {
            out_ = std::make_unique<RtAudio>(api_);
            out_->showWarnings(false);
            RtAudio::DeviceInfo dev;
            if (!find(*out_, name, false, dev, out_params_.deviceId))
                return fail("the output device is gone", sound_init_failed);
            out_params_.nChannels = std::min(2u, dev.outputChannels);
            in_params_.deviceId = out_params_.deviceId;
            in_params_.nChannels = std::min(2u, dev.inputChannels);
            duplex_ = duplex_ && in_params_.nChannels > 0;
            const unsigned int rate = device_rate(dev);
            if (rate == 0)
                return fail("the output device reports no sample rate", sound_format_unsupported);
            resample_ = rate != static_cast<unsigned>(sample_rate);
            const double ratio = rate / static_cast<double>(sample_rate);
            unsigned int frames =
                static_cast<unsigned int>(block_frames * (resample_ ? ratio : 1.0) + 0.5);
            RtAudio::StreamOptions options;
            options.streamName = "tmodular";
            out_->openStream(&out_params_, duplex_ ? &in_params_ : nullptr, RTAUDIO_SINT16, rate,
                             &frames, &rtaudio_backend::output_cb, this, &options,
                             &on_rtaudio_error);
            device_frames_ = static_cast<int>(frames);
            info.device = dev.name;
            info.device_rate = static_cast<int>(out_->getStreamSampleRate());
            info.resampled = resample_;
            info.block_frames = resample_ ? std::max(1, static_cast<int>(frames / ratio + 0.5))
                                          : static_cast<int>(frames);
            info.latency_frames = out_->getStreamLatency();
            scratch_.assign(2 * static_cast<std::size_t>(std::max(device_frames_, 1)), 0);
            if (resample_ && !resampler_.open(static_cast<int>(rate), info.block_frames,
                                              &rtaudio_backend::engine_frames, owner_))
                return fail("cannot set up the rate conversion", sound_no_memory);
            if (duplex_) {
                in_frames_ = device_frames_;
                in_scratch_.assign(2 * static_cast<std::size_t>(in_frames_), 0);
                in_resample_ = resample_;
                if (in_resample_ && !in_resampler_.open(static_cast<int>(rate), in_frames_))
                    return fail("cannot set up the rate conversion", sound_no_memory);
            }
            return sound_ok;
        } catch (const RtAudioError& e) {
            return fail(e.getMessage(), sound_init_failed);
        }
    }

    int start_output() override {
        try {
            out_->startStream();
            return sound_ok;
        } catch (const RtAudioError& e) {
            return fail(e.getMessage(), sound_play_failed);
        }
    }

    void close_output() override { close(out_); }

    int open_input(int driver, record_buffer& buffer) override {
        if (duplex_ && driver == planned_record_) {
            duplex_record_.store(&buffer);
            return sound_ok;
        }
        record_ = &buffer;
        try {
            in_ = std::make_unique<RtAudio>(api_);
            in_->showWarnings(false);
            RtAudio::DeviceInfo dev;
            if (!find(*in_, probe().inputs[static_cast<std::size_t>(driver)].name, true, dev,
                      in_params_.deviceId))
                return fail("the recording device is gone", sound_record_unsupported);
            in_params_.nChannels = std::min(2u, dev.inputChannels);
            const unsigned int rate = device_rate(dev);
            if (rate == 0)
                return fail("the recording device reports no sample rate",
                            sound_record_unsupported);
            unsigned int frames = 1024;
            RtAudio::StreamOptions options;
            options.streamName = "tmodular_in";
            in_->openStream(nullptr, &in_params_, RTAUDIO_SINT16, rate, &frames,
                            &rtaudio_backend::input_cb, this, &options, &on_rtaudio_error);
            in_frames_ = static_cast<int>(std::max(frames, 1u));
            in_scratch_.assign(2 * static_cast<std::size_t>(in_frames_), 0);
            in_resample_ = rate != static_cast<unsigned>(sample_rate);
            if (in_resample_ && !in_resampler_.open(static_cast<int>(rate), in_frames_))
                return fail("cannot set up the rate conversion", sound_no_memory);
            in_->startStream();
            return sound_ok;
        } catch (const RtAudioError& e) {
            close(in_);
            return fail(e.getMessage(), sound_record_unsupported);
        }
    }

    void close_input() override {
        // The output thread may be writing the duplex input: wait for it to
        // leave (a copy of one block), so the buffer can be freed.
        duplex_record_.store(nullptr);
        while (duplex_writing_.load()) std::this_thread::yield();
        close(in_);
    }

  private:
    struct device_lists {
        std::vector<device> outputs, inputs;
        unsigned int default_output = 0, default_input = 0;
    };

    // Listed once, the first time the console or the options ask.
    const device_lists& probe() {
        if (probed_) return lists_;
        probed_ = true;
        try {
            RtAudio r(api_);
            r.showWarnings(false);
            const unsigned int n = r.getDeviceCount();
            for (unsigned int i = 0; i < n; ++i) {
                const RtAudio::DeviceInfo d = r.getDeviceInfo(i);
                if (!d.probed) continue;
                if (d.outputChannels > 0) lists_.outputs.push_back({i, d.name});
                if (d.inputChannels > 0) lists_.inputs.push_back({i, d.name});
            }
            if (n > 0) {
                lists_.default_output = r.getDefaultOutputDevice();
                lists_.default_input = r.getDefaultInputDevice();
            }
        } catch (const RtAudioError& e) {
            std::fprintf(stderr, "RtAudio: %s\n", e.getMessage().c_str());
        }
        return lists_;
    }

    static int default_of(const std::vector<device>& list, unsigned int id) {
        for (std::size_t i = 0; i < list.size(); ++i)
            if (list[i].id == id) return static_cast<int>(i);
        return list.empty() ? -1 : 0;
    }

    // Device numbers can shift when clients come and go (JACK): find by name.
    static bool find(RtAudio& r, const std::string& name, bool input, RtAudio::DeviceInfo& out,
                     unsigned int& id) {
        const unsigned int n = r.getDeviceCount();
        for (unsigned int i = 0; i < n; ++i) {
            RtAudio::DeviceInfo d = r.getDeviceInfo(i);
            if (d.probed && d.name == name && (input ? d.inputChannels : d.outputChannels) > 0) {
                out = d;
                id = i;
                return true;
            }
        }
        return false;
    }

    static int fail(const std::string& detail, int code) {
        std::fprintf(stderr, "RtAudio: %s\n", detail.c_str());
        return code;
    }

    static void close(std::unique_ptr<RtAudio>& r) {
        if (!r) return;
        try {
            if (r->isStreamOpen()) r->closeStream(); // stops the stream and its thread first
        } catch (const RtAudioError&) {
        }
        r.reset();
    }

    static void engine_frames(void* owner, std::int16_t* stereo, int frames) {
        static_cast<sound_system*>(owner)->render(stereo, frames);
    }

    static int output_cb(void* out, void* in, unsigned int frames, double,
                         RtAudioStreamStatus status, void* self) {
        auto* b = static_cast<rtaudio_backend*>(self);
        if (in) {
            // The input of this block first, so the pump hears it now.
            b->duplex_writing_.store(true);
            if (record_buffer* r = b->duplex_record_.load())
                b->record(static_cast<const std::int16_t*>(in), static_cast<int>(frames), status,
                          *r);
            b->duplex_writing_.store(false);
        }
        b->play(static_cast<std::int16_t*>(out), static_cast<int>(frames), status);
        return 0;
    }

    void play(std::int16_t* out, int frames, RtAudioStreamStatus status) {
        if (status & RTAUDIO_OUTPUT_UNDERFLOW) owner_->count_underrun();
        if (out_params_.nChannels == 2 && !resample_) {
            owner_->render(out, frames);
            return;
        }
        // Mono devices or conversion: through the scratch block, piece by piece.
        const int room = static_cast<int>(scratch_.size() / 2);
        while (frames > 0) {
            const int n = std::min(frames, room);
            if (resample_)
                resampler_.pull(scratch_.data(), n);
            else
                owner_->render(scratch_.data(), n);
            if (out_params_.nChannels == 2) {
                std::copy(scratch_.begin(), scratch_.begin() + 2 * n, out);
                out += 2 * n;
            } else {
                for (int i = 0; i < n; ++i) *out++ = scratch_[2 * static_cast<std::size_t>(i)];
            }
            frames -= n;
        }
    }

    static int input_cb(void*, void* in, unsigned int frames, double, RtAudioStreamStatus status,
                        void* self) {
        auto* b = static_cast<rtaudio_backend*>(self);
        b->record(static_cast<const std::int16_t*>(in), static_cast<int>(frames), status,
                  *b->record_);
        return 0;
    }

    void record(const std::int16_t* in, int frames, RtAudioStreamStatus status,
                record_buffer& out) {
        if ((status & RTAUDIO_INPUT_OVERFLOW) && owner_) owner_->count_overrun();
        while (frames > 0) {
            const int n = std::min(frames, in_frames_);
            const std::int16_t* stereo = in;
            if (in_params_.nChannels == 1) {
                for (int i = 0; i < n; ++i) in_scratch_[2 * i] = in_scratch_[2 * i + 1] = in[i];
                stereo = in_scratch_.data();
            }
            if (in_resample_)
                in_resampler_.push(stereo, n, out);
            else
                out.write(stereo, n);
            in += n * static_cast<int>(in_params_.nChannels);
            frames -= n;
        }
    }

    RtAudio::Api api_;
    bool probed_ = false;
    device_lists lists_;
    sound_system* owner_ = nullptr;

    std::unique_ptr<RtAudio> out_;
    RtAudio::StreamParameters out_params_;
    bool resample_ = false;
    int device_frames_ = 0;
    std::vector<std::int16_t> scratch_;
    output_resampler resampler_;

    int planned_record_ = -1;
    bool duplex_ = false;
    std::atomic<record_buffer*> duplex_record_{nullptr};
    std::atomic<bool> duplex_writing_{false};

    std::unique_ptr<RtAudio> in_;
    RtAudio::StreamParameters in_params_;
    record_buffer* record_ = nullptr;
    int in_frames_ = 1024;
    bool in_resample_ = false;
    std::vector<std::int16_t> in_scratch_;
    input_resampler in_resampler_;
};

} // namespace

bool rtaudio_has(output_kind k) {
    RtAudio::Api api;
    if (!api_of(k, api)) return false;
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    return std::find(apis.begin(), apis.end(), api) != apis.end();
}

std::unique_ptr<sound_backend> make_rtaudio_backend(output_kind k) {
    RtAudio::Api api;
    if (!api_of(k, api) || !rtaudio_has(k)) return nullptr;
    return std::make_unique<rtaudio_backend>(api);
}

// The last failure RtAudio reported from its own threads, or empty.
std::string take_rtaudio_problem() {
    std::lock_guard<std::mutex> lock(problem_mutex);
    std::string s;
    s.swap(problem_text);
    return s;
}

} // namespace tmod
