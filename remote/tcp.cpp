#include "remote/tcp.hpp"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tmod {

namespace {
std::string address_text(const sockaddr* a) {
    char text[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (a->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(a);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
        port = ntohs(v4->sin_port);
    } else if (a->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(a);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        port = ntohs(v6->sin6_port);
    }
    return std::string(text) + ":" + std::to_string(port);
}

int bound_port(int fd) {
    sockaddr_storage a{};
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return 0;
}
} // namespace

bool tcp_listener::open(const std::string& host, int port, std::string& error) {
    close();
    if (port < 0 || port > 65535) {
        error = "no such port";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    const int r = getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
    if (r != 0) {
        error = gai_strerror(r);
        return false;
    }
    error = "no address";
    for (addrinfo* a = found; a; a = a->ai_next) {
        const int fd =
            socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        const int yes = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            continue;
        }
        fd_ = fd;
        port_ = bound_port(fd);
        host_ = host;
        break;
    }
    freeaddrinfo(found);
    return fd_ >= 0;
}

int tcp_listener::accept_client(std::string& peer) {
    if (fd_ < 0) return -1;
    for (;;) {
        sockaddr_storage a{};
        socklen_t len = sizeof a;
        const int fd = accept4(fd_, reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
        if (fd >= 0) {
            peer = address_text(reinterpret_cast<sockaddr*>(&a));
            return fd;
        }
        // A client that gave up before the accept leaves ECONNABORTED: try the next.
        if (errno != EINTR && errno != ECONNABORTED) return -1;
    }
}

void tcp_listener::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    port_ = 0;
}

int tcp_receive(int fd, char* buffer, int max) {
    for (;;) {
        const ssize_t n = recv(fd, buffer, static_cast<std::size_t>(max), 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno != EINTR) return -1;
    }
}

int tcp_send(int fd, const char* data, int length) {
    int sent = 0;
    while (sent < length) {
        const ssize_t n =
            send(fd, data + sent, static_cast<std::size_t>(length - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        sent += static_cast<int>(n);
    }
    return sent;
}

void tcp_shutdown(int fd) {
    if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

void tcp_close(int fd) {
    if (fd >= 0) ::close(fd);
}

} // namespace tmod
