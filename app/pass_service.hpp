// The work each pass of a main loop does besides its own (the headless loop
// now, the editor's loop later): scripted events whose time has come, the
// remote control's poll, the audio thread's queued messages, draining the
// recording tap into its file, and the sound system's problem and
// underrun/overrun reports. Main thread only.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.hpp"
#include "app/timed_events.hpp"
#include "audio/frame_fifo.hpp"
#include "engine/engine_state.hpp"
#include "remote/play_command.hpp"
#include "remote/remote_server.hpp"
#include "util/sound_file.hpp"

namespace tmod {

struct options;

class pass_service {
  public:
    explicit pass_service(engine_session& session) : session_(session) {}

    // Events timed from the frame the sound had played when play began.
    void set_events(const std::vector<timed_event>& events, long long first_frame);
    // Remote clients get connections of this kind (when the session listens).
    // Without it the pass leaves the remote control to its caller (the editor
    // accepts by its mode).
    void set_remote(connection_kind kind) { remote_kind_ = kind; }
    // Every frame the output tap receives is written to `file`.
    void set_recording(frame_fifo& tap, sound_writer& file);

    // One pass. A recording that cannot be written is reported once on
    // standard error and then left alone.
    void run();
    // The last drain, once the sound has stopped; false if the recording
    // failed at any time.
    bool finish_recording();

  private:
    bool drain();

    engine_session& session_;
    const std::vector<timed_event>* events_ = nullptr;
    long long first_frame_ = 0;
    std::size_t next_event_ = 0;
    held_notes held_;
    std::optional<connection_kind> remote_kind_;
    frame_fifo* tap_ = nullptr;
    sound_writer* record_ = nullptr;
    bool write_failed_ = false;
    std::vector<std::int16_t> block_;
    unsigned long reported_under_ = 0, reported_over_ = 0;
    std::chrono::steady_clock::time_point next_report_ =
        std::chrono::steady_clock::now() + report_period;
    static constexpr std::chrono::seconds report_period{5};
};

// What headless play and the editor start alike: the options checked against
// each other, the events file read, the engine started with a tap for
// --record, and the recording opened only once the sound runs, under a
// temporary name (its length is unknown: RF64, rewritten as WAV on close when
// it stayed under 4 GiB). A failed start leaves an existing file as it was.
struct live_run {
    std::vector<timed_event> events;
    sound_writer record;
    frame_fifo played{10 * sample_rate}; // ten seconds: the loops drain it every pass
    engine_session session;
    bool recording = false;

    // True when everything runs; else false with the status the program ends
    // with (0 when the user left the device questions with ESC), the message said.
    bool start(const options& o, int& exit_status);
    // The pass service of this run: events timed from `first_frame` (the frames
    // the sound had played when play began), the recording drained.
    void serve(pass_service& service, long long first_frame);
};

} // namespace tmod
