#include "app/headless.hpp"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

#include "app/command_line.hpp"
#include "app/render.hpp"
#include "app/startup.hpp"
#include "audio/frame_fifo.hpp"
#include "engine/audio_log.hpp"
#include "engine/generator.hpp"
#include "util/sound_file.hpp"
#include "remote/play_command.hpp"
#include "remote/remote_server.hpp"

namespace tmod {

namespace {
volatile std::sig_atomic_t signalled = 0;

void on_signal(int) {
    signalled = 1;
}

constexpr auto pass_period = std::chrono::milliseconds(10);
constexpr auto report_period = std::chrono::seconds(5);
} // namespace

headless_loop::headless_loop(engine_session& session) : session_(session) {
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    signalled = 0;
    sigaction(SIGINT, &sa, &saved_int_);
    sigaction(SIGTERM, &sa, &saved_term_);
}

headless_loop::~headless_loop() {
    sigaction(SIGINT, &saved_int_, nullptr);
    sigaction(SIGTERM, &saved_term_, nullptr);
}

void headless_loop::run() {
    while (!stopping_ && !signalled) {
        for (auto& hook : hooks_) hook();
        std::this_thread::sleep_for(pass_period);
    }
}

namespace {
// Writes what the audio thread queued; false on a write error.
bool drain(frame_fifo& fifo, sound_writer& file, std::vector<std::int16_t>& block,
           std::string& error) {
    for (;;) {
        const int n = fifo.pop(block.data(), static_cast<int>(block.size() / 2));
        if (n == 0) return true;
        if (!file.write(block.data(), n, error)) return false;
    }
}
} // namespace

int headless_job(const options& o) {
    render_options events;
    std::string error;
    if (!outputs_spare_inputs(o, error)) {
        std::fprintf(stderr, "tmodular: %s\n%s", error.c_str(), usage_line());
        return 2;
    }
    if (!o.events.empty() && !read_events(o.events.c_str(), events.events, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 2;
    }
    const bool recording = !o.record.empty();
    sound_writer record;
    // Ten seconds of frames: the main loop drains it every 10 ms.
    frame_fifo played(10 * 44100);
    std::vector<std::int16_t> block(2 * 4096);

    engine_session session;
    if (recording) session.sound.set_output_tap(&played);
    int status = 0;
    if (!engine_start(session, o, STDIN_FILENO, status)) return status;
    // Opened only once the sound runs, under a temporary name: a failed start
    // or a crash leaves an existing file as it was. Its length is unknown, so
    // it starts as RF64 and becomes WAV on close if it stayed under 4 GiB.
    if (recording && !record.open(o.record, 2, false, wav_container::rf64_or_wav, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 1;
    }

    headless_loop loop(session);
    const long long first_frame = session.sound.frames_played();
    engine_play_current(session);
    std::printf("Playing %s without a window; SIGINT (Ctrl-C) or SIGTERM stops.\n",
                session.current && session.current->file_name[0] ? session.current->file_name
                                                                 : "the empty patch");
    std::fflush(stdout);

    held_notes held;
    std::size_t next_event = 0;
    bool write_failed = false;
    unsigned long reported_under = 0, reported_over = 0;
    auto next_report = std::chrono::steady_clock::now() + report_period;

    // Events land at the start of the block playing when their time comes.
    loop.add_hook([&] {
        const long long played_frames = session.sound.frames_played() - first_frame;
        while (next_event < events.events.size() &&
               events.events[next_event].frame <= played_frames) {
            apply_play_command(events.events[next_event].command, session.pump.generator_table,
                               audio_pump::generator_count, held);
            ++next_event;
        }
    });
    // Remote clients get a connection of the kind the command line asks for.
    if (session.remote)
        loop.add_hook([&] {
            session.remote->poll(o.remote_console ? connection_kind::console
                                                  : connection_kind::play);
        });
    loop.add_hook([&] {
        audio_log_flush();
        if (recording && !write_failed && !drain(played, record, block, error)) {
            std::fprintf(stderr, "tmodular: %s\n", error.c_str());
            write_failed = true;
        }
        const std::string problem = take_rtaudio_problem();
        if (!problem.empty()) std::printf("Sound system: %s\n", problem.c_str());
        const auto now = std::chrono::steady_clock::now();
        if (now >= next_report) {
            next_report = now + report_period;
            const unsigned long under = session.sound.underruns(), over = session.sound.overruns();
            if (under != reported_under || over != reported_over) {
                std::printf(
                    "Sound: %lu output underrun(s) (+%lu), %lu input overrun(s) (+%lu) so far\n",
                    under, under - reported_under, over, over - reported_over);
                reported_under = under;
                reported_over = over;
            }
        }
        std::fflush(stdout);
    });
    loop.run();

    const long long total = session.sound.frames_played() - first_frame;
    const unsigned long under = session.sound.underruns(), over = session.sound.overruns();
    engine_shutdown(session);
    audio_log_flush();
    if (recording && !write_failed && !drain(played, record, block, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        write_failed = true;
    }
    if (recording && !write_failed && !record.finish(error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        write_failed = true;
    }
    if (played.dropped() > 0)
        std::fprintf(stderr, "tmodular: %lld frames could not be written to %s in time\n",
                     played.dropped(), o.record.c_str());
    std::printf("Stopped after %.1f s of sound (%lu underrun(s), %lu input overrun(s)).\n",
                total / 44100.0, under, over);
    std::fflush(stdout);
    return write_failed ? 1 : 0;
}

} // namespace tmod
