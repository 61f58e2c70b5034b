// The two kinds of remote connection, each run on its own thread until the
// client sends "FINISH", closes, or the socket fails or is shut down.
//
// Play connection: reads command lines and plays them on "KEY_1" (see
// play_command.hpp); it never replies. Every line goes to the engine log.
// Console connection: greets, prompts, and answers every line with a status
// line ("0", or "1" to "FINISH"); "PORTA=n" sets the portamento setting.
// Everything it sends carries its terminating zero byte.
// What a connection makes the program log or print is bounded (see
// output_bounds.hpp): long lines are cut, and past the per-second budget lines
// are played and answered without being shown.
#pragma once

#include <cstdint>
#include <string>

#include "remote/play_command.hpp"
#include "util/num.hpp"

namespace tmod {

class GENERATOR;

// What the connections of one server share.
struct connection_context {
    const relaxed<GENERATOR*>* table = nullptr; // the audio pump's generator table
    int table_size = 0;
    held_notes* held = nullptr;
    relaxed<int>* portamento = nullptr; // set by console connections; nothing reads it yet
    std::string log_path;               // the engine log
};

// Both run on the connection's thread and end by shutting the socket down
// (the peer sees the close); the caller closes the descriptor afterwards.
void run_play_connection(int fd, const connection_context& context);
void run_console_connection(int fd, const std::string& peer, const connection_context& context);

} // namespace tmod

namespace tmod {
// The socket value shown as a handle in the accept messages ("BEF", "AFT").
inline const void* socket_as_pointer(int fd) {
    return reinterpret_cast<const void*>(static_cast<std::intptr_t>(fd));
}
} // namespace tmod
