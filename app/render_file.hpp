// Offline render: the patch computed as fast as possible through the audio
// pump's own callback and written to a WAV file with libsndfile.
#pragma once

#include <csignal>
#include <string>
#include <vector>

namespace tmod {

class audio_pump;
class offline_backend;

// A remote-control command applied just before a given frame.
struct timed_event {
    long long frame;
    std::string command;
};

// What an events file may hold: it is read whole before anything plays.
constexpr long long events_max_bytes = 16LL << 20;
constexpr long events_max_lines = 1000000;

// Reads "SECONDS COMMAND" lines ("0.50 TRIG 60"); blank lines and lines
// starting with '#' are skipped. Events come back sorted by frame (stable).
// Only a regular file within the limits above is read. Returns false with a
// message naming the file or the bad line.
bool read_events(const char* path, std::vector<timed_event>& events, std::string& error);

struct render_options {
    double seconds = 10.0;
    bool float_output = false; // mono 32-bit float of the patch value instead of 16-bit stereo
    bool progress = false;     // a progress line (for a terminal)
    std::vector<timed_event> events;
    // When set, blocks are pulled through the offline backend (which feeds the
    // recorded input first) instead of calling the pump directly.
    offline_backend* source = nullptr;
    // Set (by a signal handler) to abandon the render.
    const volatile std::sig_atomic_t* interrupted = nullptr;
};

// Renders the container in the pump's slot 0 into a temporary file that
// replaces out_path only when complete (WAV, or RF64 when the length needs
// it). Returns true, or false with a message on standard error and out_path
// untouched.
bool render_to_file(audio_pump& pump, const char* out_path, const render_options& options);

} // namespace tmod
