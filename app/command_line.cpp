#include "app/command_line.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <utility>

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
    return "usage: tmodular [--headless | --render OUT.wav [--seconds S] [--float]] [--strict]\n"
           "                [--audio KIND]\n"
           "                [--events FILE] [--input IN.wav] [--record OUT.wav] [--tempo BPM]\n"
           "                [--remote-port N] [--midi PORT] [--midi-api API] [--midi-list]\n"
           "                [--midi-channel N] [--midi-bend SEMITONES] [--midi-clock]\n"
           "                [--data DIR] [--recover] [--help] [--version] [PATCH.tsy]\n";
}

namespace {
enum class arg : unsigned char { flag, text, text_list, number, seconds, choice, record_device };

// One row per option: its name, what it takes, where it goes, its help line.
struct option_row {
    const char* name;
    const char* value_name; // "" for a flag
    arg kind;
    bool options::*flag = nullptr;
    std::string options::*text = nullptr;
    int options::*number = nullptr;
    long lo = 0, hi = 0;
    const char* expected = "";
    const char* help = "";
    std::vector<std::string> options::*list = nullptr;
    const char* const* choices = nullptr; // null-terminated
};

option_row flag(const char* name, bool options::*m, const char* help) {
    return {name, "", arg::flag, m, nullptr, nullptr, 0, 0, "", help};
}
option_row text(const char* name, const char* value, std::string options::*m, const char* help) {
    return {name, value, arg::text, nullptr, m, nullptr, 0, 0, "expected a non-empty value", help};
}
option_row number(const char* name, const char* value, int options::*m, long lo, long hi,
                  const char* expected, const char* help) {
    return {name, value, arg::number, nullptr, nullptr, m, lo, hi, expected, help};
}

option_row choice(const char* name, const char* value, std::string options::*m,
                  const char* const* choices, const char* expected, const char* help) {
    option_row row{name, value, arg::choice, nullptr, m, nullptr, 0, 0, expected, help};
    row.choices = choices;
    return row;
}

constexpr const char* audio_kinds[] = {"alsa", "pulse", "jack", "nosound", nullptr};
constexpr const char* midi_apis[] = {"alsa", "jack", nullptr};

const option_row option_table[] = {
    choice("--audio", "KIND", &options::audio, audio_kinds, "expected alsa, pulse, jack or nosound",
           "skip the device console: alsa | pulse | jack | nosound"),
    number("--driver", "N", &options::driver, 1, 999, "expected a device number from 1",
           "output device number (from 1) for --audio"),
    {"--record-driver", "N|none", arg::record_device, nullptr, nullptr, &options::record_driver, 1,
     999, "expected a device number from 1 or none",
     "recording device number (from 1), or no recording"},
    number("--buffer", "FRAMES", &options::buffer_frames, 16, 65536, "expected 16 to 65536 frames",
           "ask the sound system for blocks of FRAMES frames (latency)"),
    flag("--headless", &options::headless, "no window: play PATCH until SIGINT, SIGTERM or SIGHUP"),
    text("--record", "OUT.wav", &options::record, "with --headless: also write every frame played"),
    flag("--recover", &options::recover,
         "the editor restores the patch's unsaved changes left by a run that stopped"),
    text("--render", "OUT.wav", &options::render,
         "no window, no device: compute PATCH and write 16-bit stereo"),
    {"--seconds", "S", arg::seconds, nullptr, nullptr, nullptr, 0, 0,
     "expected seconds from 0 to 86400", "length of --render (default 10)"},
    flag("--float", &options::float_output, "with --render: the patch value as mono 32-bit float"),
    flag("--strict", &options::strict,
         "a patch not read whole is an error (status 1, nothing played or written)"),
    text("--events", "FILE", &options::events,
         "timed commands \"SECONDS COMMAND\", e.g. \"0.50 TRIG 60\""),
    text("--input", "IN.wav", &options::input,
         "with --render: the recorded input MICRO modules hear"),
    number("--tempo", "BPM", &options::tempo, 1, 1000, "expected 1 to 1000 beats per minute",
           "initial tempo (default 60)"),
    number("--remote-port", "N", &options::remote_port, 0, 65535, "expected a port from 0 to 65535",
           "remote-control port (default 4242; 0 = off)"),
    text("--remote-host", "ADDR", &options::remote_host, "listen on ADDR instead of 127.0.0.1"),
    flag("--remote-console", &options::remote_console,
         "remote connections are console connections (in the editor, the mode decides)"),
    {"--midi", "PORT", arg::text_list, nullptr, nullptr, nullptr, 0, 0,
     "expected a port number or part of a port name",
     "play from MIDI input PORT (number or part of its name; repeatable)", &options::midi_ports},
    choice("--midi-api", "API", &options::midi_api, midi_apis, "expected alsa or jack",
           "MIDI through alsa | jack (default: as --audio, else alsa)"),
    number("--midi-channel", "N", &options::midi_channel, 1, 16, "expected a channel from 1 to 16",
           "play only MIDI channel N (default: every channel)"),
    number("--midi-bend", "SEMITONES", &options::midi_bend, 0, 48,
           "expected semitones from 0 to 48", "a whole pitch bend (default 2; 0 = off)"),
    flag("--midi-clock", &options::midi_clock,
         "the tempo follows MIDI clock; Start, Stop, Continue drive the sequencers"),
    flag("--midi-list", &options::midi_list, "list the MIDI input ports and exit"),
    text("--data", "DIR", &options::data_dir,
         "run-time data directory (default: the source tree's data/)"),
    flag("--help", &options::help, "this text"),
    flag("-h", &options::help, ""),
    flag("--version", &options::version, "the program's version"),
};

const option_row* find_option(const char* name) {
    for (const option_row& row : option_table)
        if (!std::strcmp(row.name, name)) return &row;
    return nullptr;
}

// Stores the value of a row; false when the value is not what it expects.
bool store(const option_row& row, const char* v, options& o) {
    switch (row.kind) {
    case arg::flag:
        o.*row.flag = true;
        return true;
    case arg::text:
        // An empty name would quietly mean "not given" (--render "" would play live).
        if (!*v) return false;
        o.*row.text = v;
        return true;
    case arg::text_list:
        if (!*v) return false;
        (o.*row.list).push_back(v);
        return true;
    case arg::number:
        return to_int(v, row.lo, row.hi, o.*row.number);
    case arg::seconds:
        return to_seconds(v, o.seconds);
    case arg::choice:
        for (const char* const* c = row.choices; *c; ++c)
            if (!std::strcmp(v, *c)) {
                o.*row.text = v;
                return true;
            }
        return false;
    case arg::record_device:
        if (!std::strcmp(v, "none")) {
            o.no_record = true;
            return true;
        }
        return to_int(v, row.lo, row.hi, o.*row.number);
    }
    return false;
}
} // namespace

std::string patch_to_load(const options& o) {
    return o.patch.empty() ? "TSY/EMPTY.tsy" : o.patch;
}

bool outputs_spare_inputs(const options& o, std::string& error) {
    const std::string patch = patch_to_load(o);
    const std::pair<const char*, const std::string*> inputs[] = {
        {"the patch", &patch}, {"the --input file", &o.input}, {"the --events file", &o.events}};
    const std::pair<const char*, const std::string*> outputs[] = {{"--render", &o.render},
                                                                  {"--record", &o.record}};
    for (const auto& [option, out] : outputs) {
        struct stat written;
        // An output that does not exist yet cannot be an input.
        if (out->empty() || ::stat(out->c_str(), &written) != 0) continue;
        for (const auto& [what, in] : inputs) {
            struct stat read;
            if (in->empty() || ::stat(in->c_str(), &read) != 0) continue;
            if (read.st_dev == written.st_dev && read.st_ino == written.st_ino) {
                error = std::string(option) + " " + *out + " would overwrite " + what + " " + *in +
                        "; choose another output name";
                return false;
            }
        }
    }
    return true;
}

std::string help_text() {
    std::string out = "T_Modular, a modular software synthesizer.\n\n";
    for (const option_row& row : option_table) {
        if (!*row.help) continue;
        char line[160];
        const std::string lead =
            std::string(row.name) + (*row.value_name ? " " : "") + row.value_name;
        std::snprintf(line, sizeof line, "  %-21s %s\n", lead.c_str(), row.help);
        out += line;
    }
    return out;
}

bool parse_command_line(int argc, const char* const* argv, options& o, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (const option_row* row = find_option(a)) {
            const char* v = nullptr;
            if (row->kind != arg::flag) {
                if (i + 1 >= argc) {
                    error = std::string(a) + " needs a value";
                    return false;
                }
                v = argv[++i];
            }
            if (!store(*row, v, o)) {
                error = std::string(a) + ": " + row->expected + ", got \"" + v + "\"";
                return false;
            }
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
