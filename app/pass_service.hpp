// The work each pass of a main loop does besides its own (the headless loop
// and the editor's): scripted events whose time has come, the remote
// control's poll, the audio thread's queued messages, and the sound system's
// problem and underrun/overrun reports. Main thread only. The recording is
// not the loop's: its own thread writes it (audio/record_drain).
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "app/startup.hpp"
#include "app/stop_signals.hpp"
#include "app/timed_events.hpp"
#include "audio/frame_fifo.hpp"
#include "audio/record_drain.hpp"
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

    // One pass.
    void run();

  private:
    engine_session& session_;
    const std::vector<timed_event>* events_ = nullptr;
    long long first_frame_ = 0;
    std::size_t next_event_ = 0;
    held_notes held_;
    std::optional<connection_kind> remote_kind_;
    unsigned long reported_under_ = 0, reported_over_ = 0;
    std::chrono::steady_clock::time_point next_report_ =
        std::chrono::steady_clock::now() + report_period;
    static constexpr std::chrono::seconds report_period{5};
};

// The depth of --record's tap in frames: ten seconds, or TM_RECORD_TAP (1 to
// ten seconds' worth) when set, so a test can make a take lose frames.
int record_tap_frames();

// What headless play and the editor start alike: the options checked against
// each other, the events file read, the engine started with a tap for
// --record, the stop signals caught, and the recording opened only once the
// sound runs, under a temporary name (its length is unknown: RF64, rewritten
// as WAV on close when it stayed under 4 GiB) and written by its own thread.
// A failed start leaves an existing file as it was. Members go in reverse:
// the drain is joined before the stream stops, the tap outlives the stream.
struct live_run {
    std::vector<timed_event> events;
    sound_writer record;
    frame_fifo played{record_tap_frames()};
    std::optional<stop_signals> signals;
    engine_session session;
    std::optional<record_drain> drain;

    // True when everything runs; else false with the status the program ends
    // with (0 when the user left the device questions with ESC), the message said.
    bool start(const options& o, int& exit_status);
    // The pass service of this run: events timed from `first_frame` (the frames
    // the sound had played when play began).
    void serve(pass_service& service, long long first_frame);
    // After the engine's shutdown: the take finished and put in place. False
    // when it failed or lost frames (said on standard error); true without
    // --record.
    bool finish_recording();
};

} // namespace tmod
