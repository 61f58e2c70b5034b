// The sound system: the one interface between the engine and the machine's
// audio. It lists output kinds, devices and recording devices, opens an output
// stream that pulls blocks of 16-bit stereo frames at 44 100 Hz from our
// callback, records the input into a looping buffer, loads sound files, and
// reports failures as error codes with fixed texts.
//
// Backends: rtaudio (ALSA, PulseAudio, JACK), nosound (a thread at real-time
// pace), offline (driven by the render loop). A device that runs at another
// rate is resampled here, so the engine always computes at 44 100 Hz.
//
// Threads: everything is called from the main thread except render() and the
// recording buffer's writer, which run on the backend's audio threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/frame_fifo.hpp"
#include "engine/engine_state.hpp"
#include "util/sound_file.hpp"

namespace tmod {

enum class output_kind { alsa, pulse, jack, nosound, offline };

// Error codes; sound_error_text gives their texts (the pump prints them).
enum sound_error : int {
    sound_ok = 0,
    sound_already_initialised = 1,
    sound_not_initialised = 2,
    sound_init_failed = 3,
    sound_device_busy = 4,
    sound_play_failed = 5,
    sound_format_unsupported = 6,
    sound_file_not_found = 9,
    sound_file_format = 10,
    sound_file_error = 11,
    sound_no_memory = 12,
    sound_invalid_parameter = 14,
    sound_no_channel = 16,
    sound_record_unsupported = 17,
};
const char* sound_error_text(int code);

// The word used on the command line ("alsa"), the console's menu name
// ("ALSA"), the driver-list headings and the summary name.
const char* kind_word(output_kind k);
const char* kind_menu_name(output_kind k);
const char* kind_heading(output_kind k, bool recording);
const char* kind_summary_name(output_kind k);
bool kind_from_word(const char* word, output_kind& out);

// One or two stretches of recorded frames (the second when the range wraps).
struct record_region {
    const std::int16_t* frames = nullptr; // interleaved left, right
    int count = 0;
};

// The looping recording buffer: the backend's input thread writes frames at
// the recording position and wraps; the audio pump's capture reads behind it.
// One writer and one reader, no lock: the position is published with release
// order after the frames are written.
class record_buffer {
  public:
    explicit record_buffer(int length_frames);
    int length() const { return length_; }
    // Frames recorded so far, modulo the length.
    int position() const { return position_.load(std::memory_order_acquire); }
    // Writer side (the input thread). Real-time safe.
    void write(const std::int16_t* stereo, int frames);
    // `count` frames from `first` (both in frames, first < length, count <=
    // length) as one or two regions; returns how many regions. The regions
    // stay valid until the writer comes round again (the buffer length later).
    int lock(int first, int count, record_region regions[2]) const;
    void unlock(const record_region[2]) const {} // nothing to release

  private:
    sample_buffer data_;
    int length_;
    std::atomic<int> position_{0};
};

// What a backend reports about the stream it opened.
struct stream_info {
    std::string device;
    int block_frames = 0; // frames per callback block at 44 100 Hz
    int device_rate = sample_rate;
    long latency_frames = 0; // as the backend reports it, at the device rate
    bool resampled = false;
};

class sound_system;

// A backend: the machine side of the sound system. Device numbers from 0.
class sound_backend {
  public:
    virtual ~sound_backend() = default;
    virtual int driver_count() = 0;
    virtual std::string driver_name(int i) = 0;
    virtual int default_driver() { return 0; }
    virtual int record_driver_count() = 0;
    virtual std::string record_driver_name(int i) = 0;
    virtual int default_record_driver() { return record_driver_count() > 0 ? 0 : -1; }
    // Told before open_output which recording driver will follow (-1: none),
    // so a backend can open one duplex stream when both are the same device.
    virtual void plan_recording(int) {}
    // Opens the output on a driver; block_frames is the block asked for. The
    // backend calls owner.render() from its thread once started. On failure
    // returns a sound_error code and may print a detail on standard error.
    virtual int open_output(sound_system& owner, int driver, int block_frames,
                            stream_info& info) = 0;
    virtual int start_output() = 0;
    virtual void close_output() = 0;
    // Opens and starts recording from a driver into the buffer.
    virtual int open_input(int driver, record_buffer& buffer) = 0;
    virtual void close_input() = 0;
};

using stream_callback = bool (*)(void* user, void* buffer, int length_bytes);

class sound_system {
  public:
    sound_system();
    ~sound_system();
    sound_system(const sound_system&) = delete;
    sound_system& operator=(const sound_system&) = delete;

    // Kinds this build offers, in console order (the live ones, then nosound).
    static std::vector<output_kind> offered_kinds();

    // Makes backends for set_output; tests put fakes here.
    std::function<std::unique_ptr<sound_backend>(output_kind)> backend_factory;

    // Set-up, before init. Each returns false and sets error() on failure.
    bool set_output(output_kind k);
    output_kind output() const { return kind_; }
    int driver_count();
    std::string driver_name(int i);
    bool set_driver(int i);
    int driver() const { return driver_; }
    bool init();
    bool initialised() const { return initialised_; }
    int record_driver_count();
    std::string record_driver_name(int i);
    // -1 chooses no recording.
    bool set_record_driver(int i);
    int record_driver();
    void close();
    int error() const { return error_; }

    // The output stream: `callback` is called from the backend's thread with
    // blocks of 16-bit stereo frames. block_bytes is the default block;
    // requested_frames (0 = default) asks the backend for a smaller one.
    bool stream_create(stream_callback callback, void* user, int block_bytes, int requested_frames);
    bool stream_play();
    void stream_close();
    const stream_info& stream() const { return info_; }

    // Recording into a looping buffer of `length_frames` from the chosen driver.
    bool record_start(int length_frames);
    void record_stop();
    record_buffer* recording() { return record_.get(); }

    // Every frame played also goes to this queue (set before stream_play).
    void set_output_tap(frame_fifo* tap) { tap_ = tap; }

    // Audio thread: fills `frames` frames through the callback. The buffer is
    // zeroed first, so a callback that leaves it alone plays silence.
    void render(std::int16_t* stereo, int frames);
    void count_underrun() { underruns_.fetch_add(1, std::memory_order_relaxed); }
    void count_overrun() { overruns_.fetch_add(1, std::memory_order_relaxed); }
    unsigned long underruns() const { return underruns_.load(std::memory_order_relaxed); }
    unsigned long overruns() const { return overruns_.load(std::memory_order_relaxed); }
    long long frames_played() const { return frames_played_.load(std::memory_order_relaxed); }

    // The sampler's loader: a sound file as 16-bit frames.
    static bool load_sound(const char* path, decoded_sound& out) {
        return load_sound_file(path, out);
    }

    sound_backend* backend() { return backend_.get(); }

  private:
    bool fail(int code);

    std::unique_ptr<sound_backend> backend_;
    output_kind kind_ = output_kind::nosound;
    int driver_ = -1;
    int record_driver_ = -2; // -2: not chosen yet (the backend's default)
    bool initialised_ = false;
    bool stream_open_ = false;
    bool stream_playing_ = false;
    int error_ = sound_ok;
    stream_info info_;
    stream_callback callback_ = nullptr;
    void* user_ = nullptr;
    std::unique_ptr<record_buffer> record_;
    frame_fifo* tap_ = nullptr;
    std::atomic<unsigned long> underruns_{0};
    std::atomic<unsigned long> overruns_{0};
    std::atomic<long long> frames_played_{0};
};

// The backends, for the default factory and for tests.
std::unique_ptr<sound_backend> make_rtaudio_backend(output_kind k);
std::unique_ptr<sound_backend> make_nosound_backend();
// True when this build's RtAudio has the API of that kind.
bool rtaudio_has(output_kind k);
// The last failure RtAudio reported from its own threads (a server that went
// away...), or empty. Main thread.
std::string take_rtaudio_problem();

} // namespace tmod
