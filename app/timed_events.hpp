// Timed remote-control commands (--events): read from their file, and
// applied when the frame they name comes. Shared by the render loop and the
// per-pass service of live play.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tmod {

class audio_pump;
struct held_notes;

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

// Applies events[next...] whose frame is at most `frame` to the pump's
// generators, as a play connection would; returns the index of the first event
// still to come.
std::size_t apply_due_events(const std::vector<timed_event>& events, std::size_t next,
                             long long frame, audio_pump& pump, held_notes& held);

} // namespace tmod
