#include "app/headless.hpp"

#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <unistd.h>

#include "app/command_line.hpp"
#include "app/pass_service.hpp"
#include "app/startup.hpp"
#include "app/stop_signals.hpp"
#include "audio/frame_fifo.hpp"
#include "engine/audio_log.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "remote/play_command.hpp"
#include "remote/remote_server.hpp"
#include "util/sound_file.hpp"

namespace tmod {

namespace {
constexpr auto pass_period = std::chrono::milliseconds(10);
} // namespace

void headless_loop::run() {
    const auto& stops = stop_signals::received();
    while (!stopping_ && stops.load(std::memory_order_relaxed) == 0) {
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
    std::printf("Playing %s without a window; SIGINT (Ctrl-C), SIGTERM or SIGHUP stops.\n",
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
    const bool recorded = run.finish_recording();
    std::printf("Stopped after %.1f s of sound (%lu underrun(s), %lu input overrun(s)).\n",
                total / double(sample_rate), under, over);
    std::fflush(stdout);
    return recorded ? 0 : 1;
}

} // namespace tmod
