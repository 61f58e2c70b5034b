// Offline render: the patch computed as fast as possible through the audio
// pump's own callback and written to a WAV file with libsndfile.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "app/timed_events.hpp"

namespace tmod {

class audio_pump;
class offline_backend;

struct render_options {
    double seconds = 10.0;
    bool float_output = false; // mono 32-bit float of the patch value instead of 16-bit stereo
    bool progress = false;     // a progress line (for a terminal)
    std::vector<timed_event> events;
    // When set, blocks are pulled through the offline backend (which feeds the
    // recorded input first) instead of calling the pump directly.
    offline_backend* source = nullptr;
    // Made non-zero (by a signal handler) to abandon the render.
    const std::atomic<int>* interrupted = nullptr;
};

// Renders the container in the pump's slot 0 into a temporary file that
// replaces out_path only when complete (WAV, or RF64 when the length needs
// it). Returns true, or false with a message on standard error and out_path
// untouched.
bool render_to_file(audio_pump& pump, const char* out_path, const render_options& options);

} // namespace tmod
