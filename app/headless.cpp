#include "app/headless.hpp"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

#include "app/command_line.hpp"
#include "app/pass_service.hpp"
#include "app/startup.hpp"
#include "audio/frame_fifo.hpp"
#include "engine/audio_log.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "remote/play_command.hpp"
#include "remote/remote_server.hpp"
#include "util/sound_file.hpp"

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

int headless_job(const options& o) {
    live_run run;
    int status = 0;
    if (!run.start(o, status)) return status;
    engine_session& session = run.session;

    headless_loop loop(session);
    const long long first_frame = session.sound.frames_played();
    engine_play_current(session);
    std::printf("Playing %s without a window; SIGINT (Ctrl-C) or SIGTERM stops.\n",
                session.current && session.current->file_name[0] ? session.current->file_name
                                                                 : "the empty patch");
    std::fflush(stdout);

    pass_service service(session);
    run.serve(service, first_frame);
    // Remote clients get a connection of the kind the command line asks for.
    service.set_remote(o.remote_console ? connection_kind::console : connection_kind::play);
    loop.add_hook([&] { service.run(); });
    loop.run();

    const long long total = session.sound.frames_played() - first_frame;
    const unsigned long under = session.sound.underruns(), over = session.sound.overruns();
    engine_shutdown(session);
    const bool write_failed = !service.finish_recording();
    if (run.played.dropped() > 0)
        std::fprintf(stderr, "tmodular: %lld frames could not be written to %s in time\n",
                     run.played.dropped(), o.record.c_str());
    std::printf("Stopped after %.1f s of sound (%lu underrun(s), %lu input overrun(s)).\n",
                total / double(sample_rate), under, over);
    std::fflush(stdout);
    return write_failed ? 1 : 0;
}

} // namespace tmod
