#include "remote/remote_server.hpp"
#include "util/messages.hpp"

#include <cstdio>
#include <system_error>

namespace tmod {

remote_server::remote_server(const relaxed<GENERATOR*>* table, int table_size) {
    context_.table = table;
    context_.table_size = table_size;
    context_.held = &held_;
    context_.portamento = &portamento_;
}

bool remote_server::open(const remote_settings& settings, std::string& error) {
    stop();
    settings_ = settings;
    context_.log_path = settings.log_path;
    return listener_.open(settings.host, settings.port, error);
}

int remote_server::poll(connection_kind kind, int at_most) {
    reap_finished();
    int started = 0;
    while (started < at_most && listener_.is_open()) {
        std::string peer;
        const int fd = listener_.accept_client(peer);
        if (fd < 0) break;
        if (connection_count() >= settings_.max_connections) {
            say("Remote control: %d connections already, %s refused\n", connection_count(),
                        peer.c_str());
            tcp_close(fd);
            continue;
        }
        auto c = std::make_unique<connection>();
        c->fd = fd;
        connection* raw = c.get();
        say("BEF : %d %p \n", fd, socket_as_pointer(fd));
        try {
            if (kind == connection_kind::play)
                c->thread = std::thread([this, raw] {
                    run_play_connection(raw->fd, context_);
                    raw->done = true;
                });
            else
                c->thread = std::thread([this, raw, peer] {
                    run_console_connection(raw->fd, peer, context_);
                    raw->done = true;
                });
        } catch (const std::system_error& e) {
            // Out of threads: this client is turned away, the program goes on.
            say("Remote control: cannot start a connection thread (%s)\n", e.what());
            tcp_close(fd);
            continue;
        }
        connections_.push_back(std::move(c));
        ++started;
    }
    std::fflush(stdout);
    return started;
}

void remote_server::reap_finished() {
    for (auto it = connections_.begin(); it != connections_.end();) {
        connection& c = **it;
        if (!c.done) {
            ++it;
            continue;
        }
        c.thread.join();
        tcp_close(c.fd);
        it = connections_.erase(it);
    }
}

void remote_server::stop() {
    listener_.close();
    // The descriptors stay open until their threads are joined, so a shutdown
    // never reaches a descriptor number that was reused meanwhile.
    for (auto& c : connections_) tcp_shutdown(c->fd);
    for (auto& c : connections_) {
        c->thread.join();
        tcp_close(c->fd);
    }
    connections_.clear();
}

} // namespace tmod
