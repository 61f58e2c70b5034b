#include "app/pass_service.hpp"

#include <cstdio>

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

void pass_service::set_recording(frame_fifo& tap, sound_writer& file) {
    tap_ = &tap;
    record_ = &file;
    block_.resize(2 * 4096);
}

bool pass_service::drain() {
    if (!tap_ || write_failed_) return !write_failed_;
    std::string error;
    for (;;) {
        const int n = tap_->pop(block_.data(), static_cast<int>(block_.size() / 2));
        if (n == 0) return true;
        if (!record_->write(block_.data(), n, error)) {
            std::fprintf(stderr, "tmodular: %s\n", error.c_str());
            write_failed_ = true;
            return false;
        }
    }
}

void pass_service::run() {
    // Events land at the start of the block playing when their time comes.
    if (events_)
        next_event_ =
            apply_due_events(*events_, next_event_, session_.sound.frames_played() - first_frame_,
                             session_.pump, held_);
    if (session_.remote && remote_kind_) session_.remote->poll(*remote_kind_);
    audio_log_flush();
    drain();
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

bool pass_service::finish_recording() {
    audio_log_flush();
    if (!tap_) return true;
    if (!drain()) return false;
    std::string error;
    if (!record_->finish(error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        write_failed_ = true;
    }
    return !write_failed_;
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
    recording = !o.record.empty();
    if (recording) session.sound.set_output_tap(&played);
    if (!engine_start(session, o, STDIN_FILENO, exit_status)) return false;
    if (recording && !record.open(o.record, 2, false, wav_container::rf64_or_wav, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        exit_status = 1;
        return false;
    }
    return true;
}

void live_run::serve(pass_service& service, long long first_frame) {
    service.set_events(events, first_frame);
    if (recording) service.set_recording(played, record);
}

} // namespace tmod
