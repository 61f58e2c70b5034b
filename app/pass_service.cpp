#include "app/pass_service.hpp"

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

#include "app/command_line.hpp"
#include "engine/audio_log.hpp"
#include "util/messages.hpp"
#include "util/sound_file.hpp"

namespace tmod {

void pass_service::set_events(const std::vector<timed_event>& events, long long first_frame) {
    events_ = &events;
    first_frame_ = first_frame;
    next_event_ = 0;
}

void pass_service::run() {
    // Events land at the start of the block playing when their time comes.
    if (events_)
        next_event_ =
            apply_due_events(*events_, next_event_, session_.sound.frames_played() - first_frame_,
                             session_.pump, held_);
    if (session_.remote && remote_kind_) session_.remote->poll(*remote_kind_);
    audio_log_flush();
    const std::string problem = take_rtaudio_problem();
    if (!problem.empty()) say("Sound system: %s\n", problem.c_str());
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_report_) {
        next_report_ = now + report_period;
        const unsigned long under = session_.sound.underruns(), over = session_.sound.overruns();
        if (under != reported_under_ || over != reported_over_) {
            say("Sound: %lu output underrun(s) (+%lu), %lu input overrun(s) (+%lu) so far\n", under,
                under - reported_under_, over, over - reported_over_);
            reported_under_ = under;
            reported_over_ = over;
        }
    }
    std::fflush(stdout);
}

int record_tap_frames() {
    constexpr int ten_seconds = 10 * sample_rate;
    const char* env = std::getenv("TM_RECORD_TAP");
    if (!env || !*env) return ten_seconds;
    char* end = nullptr;
    const long frames = std::strtol(env, &end, 10);
    return *end == '\0' && frames >= 1 && frames <= ten_seconds ? static_cast<int>(frames)
                                                                : ten_seconds;
}

bool live_run::start(const options& o, int& exit_status) {
    std::string error;
    if (!outputs_spare_inputs(o, error)) {
        std::fprintf(stderr, "tmodular: %s\n%s", error.c_str(), usage_line());
        exit_status = 2;
        return false;
    }
    if (!o.events.empty() && !read_events(o.events.c_str(), events, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        exit_status = 2;
        return false;
    }
    const bool recording = !o.record.empty();
    if (recording) session.sound.set_output_tap(&played);
    if (!engine_start(session, o, STDIN_FILENO, exit_status)) return false;
    // Caught from here on, before the take's temporary exists; the device
    // console before this restores its terminal and lets a signal kill.
    signals.emplace();
    if (!recording) return true;
    if (!record.open(o.record, 2, false, wav_container::rf64_or_wav, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        exit_status = 1;
        return false;
    }
    drain.emplace(played, record, o.record);
    drain->start();
    return true;
}

void live_run::serve(pass_service& service, long long first_frame) {
    service.set_events(events, first_frame);
}

bool live_run::finish_recording() {
    if (!drain) return true;
    const bool ok = drain->finish();
    drain.reset();
    return ok;
}

} // namespace tmod
