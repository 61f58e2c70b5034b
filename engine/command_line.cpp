#include "engine/command_line.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tmod {

namespace {
bool to_int(const char* s, long lo, long hi, int& out) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, 10);
    if (errno || end == s || *end || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

bool to_seconds(const char* s, double& out) {
    char* end = nullptr;
    const double v = std::strtod(s, &end);
    // Up to a day of audio: longer is surely a typing mistake.
    if (end == s || *end || !std::isfinite(v) || v < 0 || v > 86400.0) return false;
    out = v;
    return true;
}
} // namespace

const char* usage_line() {
    return "usage: tmodular [--headless | --render OUT.wav [--seconds S] [--float]] [--audio "
           "KIND]\n"
           "                [--events FILE] [--input IN.wav] [--record OUT.wav] [--tempo BPM]\n"
           "                [--remote-port N] [--data DIR] [--help] [--version] [PATCH.tsy]\n";
}

const char* help_text() {
    return "T_Modular, a modular software synthesizer.\n\n"
           "  --audio KIND          skip the device console: alsa | pulse | jack | nosound\n"
           "  --driver N            output device number (from 1) for --audio\n"
           "  --record-driver N|none  recording device number (from 1), or no recording\n"
           "  --buffer FRAMES       ask the sound system for blocks of FRAMES frames (latency)\n"
           "  --headless            no window: play PATCH until SIGINT/SIGTERM\n"
           "  --record OUT.wav      with --headless: also write every frame played\n"
           "  --render OUT.wav      no window, no device: compute PATCH and write 16-bit stereo\n"
           "  --seconds S           length of --render (default 10)\n"
           "  --float               with --render: the patch value as mono 32-bit float\n"
           "  --events FILE         timed commands \"SECONDS COMMAND\", e.g. \"0.50 TRIG 60\"\n"
           "  --input IN.wav        with --render: the recorded input MICRO modules hear\n"
           "  --tempo BPM           initial tempo (default 60)\n"
           "  --remote-port N       remote-control port (default 4242; 0 = off)\n"
           "  --remote-host ADDR    listen on ADDR instead of 127.0.0.1\n"
           "  --remote-console      remote connections are console connections\n"
           "  --data DIR            run-time data directory (default: the source tree's data/)\n"
           "  --help, --version\n";
}

bool parse_command_line(int argc, const char* const* argv, options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto value = [&](const char*& out) {
            if (i + 1 >= argc) {
                error = std::string(a) + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        const char* v = nullptr;
        auto bad = [&](const char* what) {
            error = std::string(a) + ": " + what + ", got \"" + (v ? v : "") + "\"";
            return false;
        };
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            o.help = true;
        } else if (!std::strcmp(a, "--version")) {
            o.version = true;
        } else if (!std::strcmp(a, "--headless")) {
            o.headless = true;
        } else if (!std::strcmp(a, "--float")) {
            o.float_output = true;
        } else if (!std::strcmp(a, "--remote-console")) {
            o.remote_console = true;
        } else if (!std::strcmp(a, "--audio")) {
            if (!value(v)) return false;
            if (std::strcmp(v, "alsa") && std::strcmp(v, "pulse") && std::strcmp(v, "jack") &&
                std::strcmp(v, "nosound"))
                return bad("expected alsa, pulse, jack or nosound");
            o.audio = v;
        } else if (!std::strcmp(a, "--driver")) {
            if (!value(v) || !to_int(v, 1, 999, o.driver))
                return v ? bad("expected a device number from 1") : false;
        } else if (!std::strcmp(a, "--record-driver")) {
            if (!value(v)) return false;
            if (!std::strcmp(v, "none"))
                o.no_record = true;
            else if (!to_int(v, 1, 999, o.record_driver))
                return bad("expected a device number from 1 or none");
        } else if (!std::strcmp(a, "--buffer")) {
            if (!value(v) || !to_int(v, 16, 65536, o.buffer_frames))
                return v ? bad("expected 16 to 65536 frames") : false;
        } else if (!std::strcmp(a, "--render")) {
            if (!value(v)) return false;
            o.render = v;
        } else if (!std::strcmp(a, "--seconds")) {
            if (!value(v) || !to_seconds(v, o.seconds))
                return v ? bad("expected seconds from 0 to 86400") : false;
        } else if (!std::strcmp(a, "--events")) {
            if (!value(v)) return false;
            o.events = v;
        } else if (!std::strcmp(a, "--input")) {
            if (!value(v)) return false;
            o.input = v;
        } else if (!std::strcmp(a, "--record")) {
            if (!value(v)) return false;
            o.record = v;
        } else if (!std::strcmp(a, "--tempo")) {
            if (!value(v) || !to_int(v, 1, 1000, o.tempo))
                return v ? bad("expected 1 to 1000 beats per minute") : false;
        } else if (!std::strcmp(a, "--remote-port")) {
            if (!value(v) || !to_int(v, 0, 65535, o.remote_port))
                return v ? bad("expected a port from 0 to 65535") : false;
        } else if (!std::strcmp(a, "--remote-host")) {
            if (!value(v)) return false;
            o.remote_host = v;
        } else if (!std::strcmp(a, "--data")) {
            if (!value(v)) return false;
            o.data_dir = v;
        } else if (a[0] == '-' && a[1] != '\0') {
            error = std::string("unknown option ") + a;
            return false;
        } else if (o.patch.empty()) {
            o.patch = a;
        } else {
            error = std::string("more than one patch: ") + o.patch + " and " + a;
            return false;
        }
    }
    if (!o.render.empty() && o.headless) {
        error = "--render and --headless exclude each other";
        return false;
    }
    if (o.float_output && o.render.empty()) {
        error = "--float goes with --render";
        return false;
    }
    return true;
}

} // namespace tmod
