// The remote control's server: a listening socket, polled by the main loop
// (the headless loop now, the editor's frame later), and one thread per
// accepted connection.
//
// Threads: open, poll, stop and connection_count belong to one thread (the
// main thread). Each connection runs on a std::thread of its own; it looks the
// keyboard up only under a shared hold of the patch lock, so a load or a
// shutdown (exclusive hold) never has its container driven meanwhile, and it
// never holds that lock across network I/O, so no client can stall the audio
// thread or a load. stop() shuts every connection's socket down, which wakes
// a thread blocked in a receive or a send, and joins it.
#pragma once

#include <atomic>
#include <climits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine_log.hpp"
#include "remote/connections.hpp"
#include "remote/play_command.hpp"
#include "remote/tcp.hpp"
#include "util/num.hpp"

namespace tmod {

class GENERATOR;

enum class connection_kind { play, console };

struct remote_settings {
    std::string host = "127.0.0.1";
    int port = 4242; // 0 lets the system choose (the command line's 0 opens no server)
    std::string log_path = engine_log_name;
    // Clients beyond this many live connections are accepted and closed at
    // once, so a flood of connections cannot exhaust threads or descriptors.
    int max_connections = 128;
};

class remote_server {
  public:
    // `table` is the audio pump's generator table; it must outlive the server.
    remote_server(const relaxed<GENERATOR*>* table, int table_size);
    ~remote_server() { stop(); }
    remote_server(const remote_server&) = delete;
    remote_server& operator=(const remote_server&) = delete;

    // Opens the listening socket (ending the connections of an earlier one);
    // false with `error` when it cannot.
    bool open(const remote_settings& settings, std::string& error);
    bool is_open() const { return listener_.is_open(); }
    int port() const { return listener_.port(); }

    // Accepts up to `at_most` waiting clients without blocking and starts a
    // connection of the given kind for each; also joins connections that have
    // ended. Returns how many were started.
    int poll(connection_kind kind, int at_most = INT_MAX);

    // Closes the listening socket, ends every connection and joins its thread.
    void stop();

    // Connections started and not yet joined.
    int connection_count() const { return static_cast<int>(connections_.size()); }

    int portamento() const { return portamento_; }
    const held_notes& held() const { return held_; }

  private:
    struct connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void reap_finished();

    tcp_listener listener_;
    remote_settings settings_;
    held_notes held_;
    relaxed<int> portamento_{0};
    connection_context context_;
    std::vector<std::unique_ptr<connection>> connections_;
};

} // namespace tmod
