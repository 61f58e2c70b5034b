// The sound device console: at start-up, asks on the text console which
// output kind, output device and recording device to use, initialises the
// sound system with them and prints a summary. Keys come from console_keys.
#pragma once

#include <cstdio>
#include <string>

namespace tmod {

class console_keys;
class sound_system;
struct options;

enum class console_outcome {
    done, // go on with the start-up (even when the sound system failed: the pump reports it)
    quit, // ESC at the output-kind or output-device prompt: end the program with status 0
};

console_outcome run_device_console(sound_system& sound, console_keys& keys, std::FILE* out);

// The same choices from --audio, --driver and --record-driver, without
// questions, then the summary. Returns 0, or an exit status with `error` set
// (2 for a device number that does not exist, 1 when the kind has no device).
int choose_sound_from_options(sound_system& sound, const options& o, std::FILE* out,
                              std::string& error);

void print_sound_summary(sound_system& sound, std::FILE* out);

} // namespace tmod
