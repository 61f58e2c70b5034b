// The program's command line (see the README for the contract).
#pragma once

#include <string>
#include <vector>

namespace tmod {

struct options {
    std::string patch;      // PATCH.tsy, or empty for the start-up default
    std::string audio;      // alsa | pulse | jack | nosound: skip the device console
    int driver = 0;         // output device number from 1; 0 = ask
    int record_driver = 0;  // recording device number from 1; 0 = ask
    bool no_record = false; // --record-driver none
    bool headless = false;
    bool recover = false; // the editor restores a recovery set without asking
    std::string render; // --render OUT.wav
    double seconds = 10.0;
    bool float_output = false;
    bool strict = false; // a patch not read whole ends --render and --headless
    std::string events;
    std::string input;  // --input IN.wav (recorded input for --render)
    std::string record; // --record OUT.wav (with --headless)
    int tempo = 60;
    int remote_port = 4242; // 0 = off
    std::string remote_host = "127.0.0.1";
    bool remote_console = false;
    int buffer_frames = 0; // 0 = the default stream block
    std::string data_dir;
    std::vector<std::string> midi_ports; // --midi, in order
    std::string midi_api;                // alsa | jack; empty: as --audio
    bool midi_list = false;
    int midi_channel = 0; // 1..16; 0 = every channel
    int midi_bend = 2;    // semitones of a whole bend; 0 = off
    bool midi_clock = false;
    bool help = false;
    bool version = false;
};

// Fills `o` from argv; on a mistake returns false with `error` set.
bool parse_command_line(int argc, const char* const* argv, options& o, std::string& error);

// The patch a job loads: the command line's, or the start-up default.
std::string patch_to_load(const options& o);

// When an output (--render, --record) is one of the inputs (the patch,
// --input, --events), through any path or link, returns false with `error`
// naming both: writing it would destroy what is about to be read. Call from
// the data directory, with the command line's paths made absolute.
bool outputs_spare_inputs(const options& o, std::string& error);

const char* usage_line();
// The options, one line each.
std::string help_text();

} // namespace tmod
