// TCP sockets of the remote control, on the POSIX socket calls.
//
// SDL_net 1.2 cannot serve here: its server sockets always listen on every
// interface (INADDR_ANY, backlog 5), its sends raise SIGPIPE on a closed peer,
// and it gives no way to wake a thread blocked in a receive or a send at
// shutdown. These few calls do what it would, with those three settled.
#pragma once

#include <string>

namespace tmod {

// A listening socket bound to one address. Accepts never block. Main thread.
class tcp_listener {
  public:
    tcp_listener() = default;
    ~tcp_listener() { close(); }
    tcp_listener(const tcp_listener&) = delete;
    tcp_listener& operator=(const tcp_listener&) = delete;

    // Listens on host:port (a numeric address or a name; port 0 lets the
    // system choose a free one). On failure returns false with `error` set.
    bool open(const std::string& host, int port, std::string& error);
    bool is_open() const { return fd_ >= 0; }
    int port() const { return port_; } // the port actually bound
    const std::string& host() const { return host_; }

    // The socket of a client waiting to be accepted, or -1 when none is. The
    // client socket blocks; `peer` receives "address:port".
    int accept_client(std::string& peer);
    void close();

  private:
    int fd_ = -1;
    int port_ = 0;
    std::string host_;
};

// Receives up to `max` bytes: the count, 0 when the peer has closed, -1 on an
// error. Blocks until something arrives or the socket is shut down.
int tcp_receive(int fd, char* buffer, int max);

// Sends every byte unless the connection fails; returns how many went out.
// A closed peer gives a short count, never SIGPIPE.
int tcp_send(int fd, const char* data, int length);

// Ends both directions: the peer sees the close and a thread blocked on the
// socket wakes up. The descriptor stays open until its owner closes it.
void tcp_shutdown(int fd);
void tcp_close(int fd);

} // namespace tmod
