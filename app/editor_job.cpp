#include "app/editor_job.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>


#include "app/command_line.hpp"
#include "app/pass_service.hpp"
#include "app/startup.hpp"
#include "app/stop_signals.hpp"
#include "app/typed_lines.hpp"
#include "audio/frame_fifo.hpp"
#include "editor/editor.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "toolkit/font_engine.hpp"
#include "toolkit/image_bank.hpp"
#include "toolkit/video.hpp"
#include "util/sound_file.hpp"

namespace tmod {

namespace {
int no_display(const char* why) {
    std::fprintf(stderr,
                 "tmodular: cannot open the editor window (%s); use --headless to play without "
                 "one\n%s",
                 why, usage_line());
    return 2;
}
} // namespace

int editor_job(const options& o) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) return no_display("no DISPLAY");
    live_run run;
    int status = 0;
    if (!run.start(o, status)) return status;
    engine_session& session = run.session;

    const std::string title =
        "Tam ENGINE & T_Modular - Synthesizer [" + (o.patch.empty() ? "" : o.patch) + "]";
    std::printf("TamEngine - TBiblio - Init and Loading all ressources\n");
    if (init_video(1024, 768, title.c_str(), nullptr) != 1) {
        engine_shutdown(session);
        return no_display("the video start failed");
    }
    std::string why;
    if (image_bank().try_load_bundle("grfx/opengl.tim", why) != 1) {
        std::fprintf(stderr, "tmodular: cannot load the images grfx/opengl.tim: %s\n", why.c_str());
        engine_shutdown(session);
        close_video();
        return 1;
    }
    std::printf("TamEngine - FreeType - Loading all Fonts\nFORGETINSIDEBRACKETS [\n");
    if (font_table().try_load_font_list("Fonts/Fonts.FNTS", why) != 1) {
        std::fprintf(stderr, "tmodular: cannot load the fonts Fonts/Fonts.FNTS: %s\n", why.c_str());
        font_table().release_all();
        engine_shutdown(session);
        close_video();
        return 1;
    }
    std::printf("]\n");
    std::fflush(stdout);

    int exit_status = 0;
    {
        editor ed(*session.current, &session.pump);
        pass_service service(session);
        run.serve(service, session.sound.frames_played());
        ed.remote = session.remote.get();
        // A stop signal ends the editor at once, without the question about
        // unsaved changes (SDL leaves SIGINT and SIGTERM to the handlers
        // already there).
        ed.pass_hook = [&] {
            service.run();
            if (stop_signals::received().load(std::memory_order_relaxed) > 0) ed.quit();
        };
        typed_lines typed;
        ed.poll_line = [&typed](std::string& line) { return typed.next(line); };
        const std::string patch = patch_to_load(o);
        // The start-up already read the patch: the editor shows it, and later
        // loads replace it.
        engine_play_current(session);
        ed.start(patch.c_str(), o.patch.empty(), o.recover, &session.start_report);
        ed.run();
        audio_enabled = 0;
        ed.close();
        engine_shutdown(session);
        if (!run.finish_recording()) exit_status = 1;
    }
    std::printf("FORGETINSIDEBRACKETS [\n");
    font_table().release_all();
    std::printf("]\n");
    close_video();
    std::fflush(stdout);
    return exit_status;
}

} // namespace tmod
