#include "app/editor_job.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>

#include "app/command_line.hpp"
#include "app/pass_service.hpp"
#include "app/startup.hpp"
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
    frame_fifo played(10 * sample_rate);

    engine_session session;
    if (recording) session.sound.set_output_tap(&played);
    int status = 0;
    if (!engine_start(session, o, STDIN_FILENO, status)) return status;
    if (recording && !record.open(o.record, 2, false, wav_container::rf64_or_wav, error)) {
        std::fprintf(stderr, "tmodular: %s\n", error.c_str());
        return 1;
    }

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
        service.set_events(events.events, session.sound.frames_played());
        if (recording) service.set_recording(played, record);
        ed.remote = session.remote.get();
        ed.pass_hook = [&] { service.run(); };
        ed.read_line = [](std::string& line) { return static_cast<bool>(std::getline(std::cin, line)); };
        const std::string patch = patch_to_load(o);
        // The start-up already read the patch: the editor shows it, and later
        // loads replace it.
        engine_play_current(session);
        ed.start(patch.c_str());
        ed.run();
        audio_enabled = 0;
        ed.close();
        engine_shutdown(session);
        if (!service.finish_recording()) exit_status = 1;
    }
    std::printf("FORGETINSIDEBRACKETS [\n");
    font_table().release_all();
    std::printf("]\n");
    close_video();
    std::fflush(stdout);
    return exit_status;
}

} // namespace tmod
