#include "app/startup.hpp"

#include <cstdio>
#include <string>

#include "app/command_line.hpp"
#include "app/console_keys.hpp"
#include "app/device_console.hpp"
#include "engine/engine_state.hpp"
#include "engine/generator.hpp"
#include "engine/note_table.hpp"
#include "patchfile/patch_reader.hpp"
#include "remote/midi_input.hpp"
#include "remote/remote_server.hpp"
#include "util/alloc_tracker.hpp"
#include "util/text.hpp"

namespace tmod {

void generator_deleter::operator()(GENERATOR* g) const {
    tracked_delete(g);
}

engine_session::engine_session() = default;

engine_session::~engine_session() {
    engine_shutdown(*this);
}

bool engine_start(engine_session& s, const options& o, int key_fd, int& exit_status) {
    std::FILE* log = open_engine_log(engine_log_name);
    s.pump.scope_view = 0;
    s.pump.scope_zoom = 8.0f;
    fill_note_table();

    // Before the device questions: a mistyped port should not cost them.
    if (!o.midi_ports.empty()) {
        midi_settings ms;
        ms.ports = o.midi_ports;
        ms.jack = o.midi_api.empty() ? o.audio == "jack" : o.midi_api == "jack";
        ms.channel = o.midi_channel;
        ms.bend_semitones = o.midi_bend;
        ms.clock = o.midi_clock;
        s.midi = std::make_unique<midi_input>(s.pump.generator_table);
        std::string error;
        if (!s.midi->open(ms, error)) {
            std::fprintf(stderr, "tmodular: %s%s", error.c_str(), usage_line());
            s.midi.reset();
            if (log) std::fclose(log);
            exit_status = 2;
            return false;
        }
        for (const std::string& name : s.midi->port_names())
            std::printf("MIDI: playing from the %s port \"%s\" (%s)\n", s.midi->backend(),
                        name.c_str(),
                        o.midi_channel ? ("channel " + std::to_string(o.midi_channel)).c_str()
                                       : "every channel");
        std::fflush(stdout);
    }

    const bool chosen = !o.audio.empty() || o.driver > 0 || o.record_driver > 0 || o.no_record;
    if (chosen) {
        std::string error;
        const int status = choose_sound_from_options(s.sound, o, stdout, error);
        if (status != 0) {
            std::fprintf(stderr, "tmodular: %s\n", error.c_str());
            if (status == 2) std::fputs(usage_line(), stderr);
            if (log) std::fclose(log);
            exit_status = status;
            return false;
        }
    } else {
        console_keys keys(key_fd);
        if (run_device_console(s.sound, keys, stdout) == console_outcome::quit) {
            if (log) std::fclose(log);
            exit_status = 0;
            return false;
        }
    }

    // A patch that cannot be read ends the start as it ends a render: playing
    // silence instead would hide the mistake (and so does a half-read one
    // with --strict).
    s.current.reset(TM_NEW(GENERATOR));
    if (const int status = load_start_patch(*s.current, o, &s.start_report); status >= 0) {
        if (log) std::fclose(log);
        exit_status = status;
        return false;
    }

    pump_settings settings;
    settings.buffer_frames = o.buffer_frames;
    if (!pump_start(s.pump, s.sound, s.ring, settings, exit_status)) {
        if (log) std::fclose(log);
        return false;
    }
    if (log) {
        std::fclose(log);
        append_engine_log(engine_log_name, "INIT_T_MODULAR done.\r\n");
    }
    if (o.remote_port != 0) {
        remote_settings rs;
        rs.host = o.remote_host;
        rs.port = o.remote_port;
        s.remote =
            std::make_unique<remote_server>(s.pump.generator_table, audio_pump::generator_count);
        std::string error;
        if (s.remote->open(rs, error)) {
            std::printf("Remote control: listening on %s port %d\n", rs.host.c_str(),
                        s.remote->port());
        } else {
            std::printf("Remote control: cannot listen on %s port %d (%s); playing without it\n",
                        rs.host.c_str(), rs.port, error.c_str());
            s.remote.reset();
        }
    }
    return true;
}

int load_start_patch(GENERATOR& container, const options& o, load_report* kept) {
    const std::string patch = patch_to_load(o);
    load_report own;
    load_report& report = kept ? *kept : own;
    load_patch(container, patch.c_str(), &report);
    const std::string shown = escaped_controls(patch);
    // After the reader's own messages.
    std::fflush(stdout);
    if (report.status == load_failed) {
        std::fprintf(stderr, "tmodular: cannot load the patch %s\n", shown.c_str());
        return 1;
    }
    if (report.dropped == 0) return -1;
    std::fprintf(stderr, "%d records of %s could not be read\n", report.dropped, shown.c_str());
    if (!o.strict) return -1;
    std::fprintf(stderr, "tmodular: --strict: nothing is played or written (first: %s)\n",
                 report.messages.empty() ? "?" : report.messages[0].c_str());
    return 1;
}

void engine_play_current(engine_session& s) {
    {
        patch_edit edit(patch_mutex());
        s.pump.generator_table[0] = s.current.get();
    }
    audio_enabled = 1;
}

void engine_shutdown(engine_session& s) {
    // No connection or MIDI port may drive the container from here on.
    s.remote.reset();
    s.midi.reset();
    audio_enabled = 0;
    {
        // From here the callback cannot reach the container any more.
        patch_edit edit(patch_mutex());
        for (auto& slot : s.pump.generator_table) slot = nullptr;
    }
    if (s.current) {
        s.current->clear();
        s.current.reset();
    }
    pump_stop(s.pump, s.sound, s.ring);
}

} // namespace tmod
