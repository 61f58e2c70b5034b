// A plain TCP client for the remote-control tests, and a wait helper. Every
// wait has a generous limit so a broken server fails a test instead of
// hanging it; nothing is timed.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace tmod::test {

inline bool wait_until(const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class tcp_client {
  public:
    explicit tcp_client(int port, const char* host = "127.0.0.1") {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        inet_pton(AF_INET, host, &a.sin_addr);
        if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) close();
    }
    ~tcp_client() { close(); }
    tcp_client(const tcp_client&) = delete;
    tcp_client& operator=(const tcp_client&) = delete;

    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    bool send(std::string_view bytes) {
        std::size_t sent = 0;
        while (fd_ >= 0 && sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            sent += static_cast<std::size_t>(n);
        }
        return fd_ >= 0;
    }

    // Reads until `count` bytes have come, the peer closed, or a minute went by.
    std::string receive(std::size_t count) {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (got.size() < count && !peer_closed_ && std::chrono::steady_clock::now() < end)
            if (!receive_some(got, count - got.size())) break;
        return got;
    }

    // Reads everything until the peer closes (or a minute went by).
    std::string receive_until_closed() {
        std::string got;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!peer_closed_ && std::chrono::steady_clock::now() < end)
            if (!receive_some(got, 65536)) break;
        return got;
    }
    bool peer_closed() const { return peer_closed_; }

    // One short look: drops what has arrived and says whether the peer closed.
    bool check_closed() {
        std::string sink;
        receive_some(sink, 65536);
        return peer_closed_;
    }

    // Closes at once with a reset instead of an orderly close.
    void reset() {
        if (fd_ < 0) return;
        linger l{1, 0};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    bool receive_some(std::string& got, std::size_t max) {
        if (fd_ < 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0) return true; // nothing yet: the caller's limit decides
        char buffer[65536];
        const ssize_t n = recv(fd_, buffer, max < sizeof buffer ? max : sizeof buffer, 0);
        if (n < 0 && errno == EINTR) return true;
        if (n <= 0) {
            peer_closed_ = true;
            return false;
        }
        got.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool peer_closed_ = false;
};

} // namespace tmod::test
