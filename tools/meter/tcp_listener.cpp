// The emulated meter's TCP listener on the loopback.
#include "tools/meter/tcp_listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace velmora {

TcpListener::TcpListener(uint16_t port)
    : port_(port) {
    Listen();
}

TcpListener::~TcpListener() {
    DropConnection();
    StopListening();
}

void TcpListener::Listen() {
    if (listen_ >= 0) {
        return;
    }
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_ < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    const int on = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listen_, 4) != 0) {
        const int error = errno;
        ::close(listen_);
        listen_ = -1;
        throw std::system_error(error, std::generic_category(),
                                "listen on 127.0.0.1:" + std::to_string(port_));
    }
    socklen_t length = sizeof address;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port); // kept, so a reopen listens where it did
}

void TcpListener::StopListening() {
    if (listen_ >= 0) {
        ::close(listen_);
        listen_ = -1;
    }
}

void TcpListener::Accept() {
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (connection_ >= 0) {
        ::close(fd); // one connection at a time
        ++refused_;
        return;
    }
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    connection_ = fd;
    ++accepted_;
}

void TcpListener::DropConnection() {
    if (connection_ >= 0) {
        ::close(connection_);
        connection_ = -1;
    }
}

bool TcpListener::Write(std::string_view bytes, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!bytes.empty()) {
        if (connection_ < 0) {
            return false;
        }
        const ssize_t n = ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n > 0) {
            bytes.remove_prefix(static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd room{connection_, POLLOUT, 0};
        ::poll(&room, 1, static_cast<int>(left.count()));
    }
    return true;
}

} // namespace velmora
