// User messages as data. say() formats like printf and hands the text to the
// current sink: standard output by default, byte for byte what printf printed.
// A caller (the editor, a loader, a test) may install its own sink to show or
// keep the messages. Thread-safe: loader and connection threads may say();
// the audio thread never does (it goes through engine/audio_log's ring).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tmod {

// Receives one formatted piece of text (a line, or part of one, newline kept).
// It is called under the sink lock: it must not call say() itself.
using message_sink = std::function<void(const std::string& text)>;

__attribute__((format(printf, 1, 2))) void say(const char* format, ...);

// Debug traces: off unless the environment has TM_TRACE set to something
// other than "" or "0"; when on they go to standard error.
__attribute__((format(printf, 1, 2))) void trace(const char* format, ...);
bool trace_enabled();

// Installs a sink (an empty one means standard output) and returns the one it
// replaces, so a caller can put it back.
message_sink set_message_sink(message_sink sink);

// Keeps every message said while it lives (e.g. around a patch load), then
// puts the previous sink back. With echo, messages also reach that sink.
class message_capture {
public:
    explicit message_capture(bool echo = false);
    ~message_capture();
    message_capture(const message_capture&) = delete;
    message_capture& operator=(const message_capture&) = delete;

    std::string text() const;
    // The captured text split at newlines (a last unfinished line included).
    std::vector<std::string> lines() const;

private:
    struct state;
    std::shared_ptr<state> state_;
    message_sink previous_;
};

}  // namespace tmod
