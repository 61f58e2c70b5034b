// tmodular: the editor, headless play and offline render.
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/command_line.hpp"
#include "app/headless.hpp"
#include "app/render_job.hpp"
#include "engine/engine_state.hpp"
#include "remote/midi_input.hpp"
#include "util/alloc_tracker.hpp"
#include "util/atomic_file.hpp"
#ifdef TM_WITH_EDITOR
#include "app/editor_job.hpp"
#endif

using namespace tmod;

namespace {
// Paths on the command line are relative to where the user started the
// program; it then works inside its data directory.
void make_absolute(std::string& path) {
    if (!path.empty()) path = std::filesystem::absolute(path).lexically_normal().string();
}

// Where saves go, in the data directory: a save killed halfway (SIGKILL, a
// crash) leaves its temporary there.
constexpr const char* save_folders[] = {"TSY", "PARTITIONS", "recovery"};

void remove_temporaries_of_ended_runs() {
    for (const char* folder : save_folders)
        if (const int n = remove_stale_temporaries(folder))
            std::printf("Removed %d temporary file(s) left in %s/ by a run that ended while "
                        "saving\n",
                        n, folder);
}
} // namespace

int main(int argc, char** argv) {
    options o;
    std::string error;
    if (!parse_command_line(argc, argv, o, error)) {
        std::fprintf(stderr, "tmodular: %s\n%s", error.c_str(), usage_line());
        return 2;
    }
    if (o.help) {
        std::printf("%s\n%s", usage_line(), help_text().c_str());
        return 0;
    }
    if (o.version) {
        std::printf("tmodular %s\n", TM_VERSION);
        return 0;
    }
    if (o.midi_list) {
        std::printf("%s", midi_port_list().c_str());
        return 0;
    }
    for (std::string* p : {&o.patch, &o.render, &o.events, &o.input, &o.record}) make_absolute(*p);
    const std::string data = o.data_dir.empty() ? TM_SOURCE_DATA_DIR : o.data_dir;
    if (::chdir(data.c_str()) != 0) {
        std::fprintf(stderr, "tmodular: cannot enter the data directory %s\n%s", data.c_str(),
                     usage_line());
        return 2;
    }
    remove_temporaries_of_ended_runs();
    tempo_bpm = o.tempo;
    // The leak report of the run goes to the data directory.
    open_leak_log("MEMLEAKS.log");

    int status = 0;
    if (!o.render.empty()) {
        status = render_job(o);
    } else if (!o.headless) {
#ifdef TM_WITH_EDITOR
        status = editor_job(o);
#else
        std::printf("tmodular: this build has no editor window; playing without a window.\n");
        status = headless_job(o);
#endif
    } else {
        status = headless_job(o);
    }
    report_leaks();
    return status;
}
