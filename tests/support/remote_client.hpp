// A plain TCP client for the remote-control tests. Its reads wait with a
// generous limit, so a broken server fails a test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace tmod::test {

// A port nothing listens on right now.
inline int free_port() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

class tcp_client {
  public:
    explicit tcp_client(int port, const char* host = "127.0.0.1")
        : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, host, &a.sin_addr);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) close();
    }
    ~tcp_client() { close(); }
    bool connected() const { return fd_ >= 0; }

    bool send(const std::string& bytes) {
        return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(bytes.size());
    }
    // Reads until `count` bytes came or the peer closed (all of it by default).
    std::string receive(std::size_t count = std::string::npos) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (got.size() < count && look(got) && std::chrono::steady_clock::now() < end) {
        }
        return got;
    }
    // One short look: keeps nothing, says whether the peer has closed.
    bool check_closed() {
        std::string sink;
        return !look(sink);
    }
    bool closed() const { return closed_; }
    // Closes with a reset instead of an orderly close.
    void reset() {
        linger l{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    // False once the peer has closed (or the socket failed).
    bool look(std::string& got) {
        pollfd p{fd_, POLLIN, 0};
        if (fd_ < 0) return false;
        if (::poll(&p, 1, 20) <= 0) return true;
        char buffer[65536];
        const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        closed_ = n <= 0;
        return n > 0;
    }
    int fd_;
    bool closed_ = false;
};

} // namespace tmod::test
