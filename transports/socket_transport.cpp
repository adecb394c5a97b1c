// The raw socket transport: connect with a time-out, keep-alive, line framing, loss and return.
#include "transports/socket_transport.h"

#include "transports/transport_error.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velmora {

Resolver SystemResolver() {
    return [](const std::string& host, uint16_t port,
              std::string* why) -> std::vector<sockaddr_storage> {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* found = nullptr;
        const int error = getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
        std::vector<sockaddr_storage> addresses;
        if (error != 0) {
            *why = gai_strerror(error);
            return addresses;
        }
        for (const addrinfo* a = found; a; a = a->ai_next) {
            sockaddr_storage address{};
            std::memcpy(&address, a->ai_addr, a->ai_addrlen);
            addresses.push_back(address);
        }
        freeaddrinfo(found);
        return addresses;
    };
}

namespace {

socklen_t LengthOf(const sockaddr_storage& address) {
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

void KeepAlive(int fd) {
    // Idle 2 s, then three probes a second apart: a dead peer is seen in 5 s;
    // data the peer never acknowledges gives up after the same time.
    const int on = 1, idle = 2, interval = 1, count = 3, unacknowledged = 5000;
    setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unacknowledged, sizeof unacknowledged);
    // Commands are short and each waits for its answer: send them at once.
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TransportError::Reason ReasonOf(int error) {
    switch (error) {
    case ECONNREFUSED:
        return TransportError::Reason::Refused;
    case ETIMEDOUT:
        return TransportError::Reason::TimedOut;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
        return TransportError::Reason::Unreachable;
    default:
        return TransportError::Reason::Other;
    }
}

} // namespace

SocketTransport::SocketTransport(std::string host, uint16_t port, QObject* parent)
    : StreamLine(parent)
    , host_(std::move(host))
    , port_(port)
    , resolver_(SystemResolver()) {}

ssize_t SocketTransport::writeSome(int fd, const char* bytes, size_t length) {
    return ::send(fd, bytes, length, MSG_NOSIGNAL); // a closed peer is a lost line, not SIGPIPE
}

int SocketTransport::connectTo(const sockaddr_storage& address, std::string* why, int* error) {
    const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errno;
        *why = std::strerror(errno);
        return -1;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), LengthOf(address)) != 0 &&
        errno != EINPROGRESS) {
        *error = errno;
        *why = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    // Waits here, as the serial port's open does: the window has nothing to
    // show before the line is there, and a local network answers at once.
    pollfd wait{fd, POLLOUT, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(connectTimeout_.count()));
    int result = 0;
    socklen_t length = sizeof result;
    if (ready == 0) {
        result = ETIMEDOUT;
    } else if (ready < 0) {
        result = errno;
    } else if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &length) != 0) {
        result = errno;
    }
    if (result != 0) {
        *error = result;
        *why = ready == 0 ? "no answer within " + std::to_string(connectTimeout_.count()) + " ms"
                          : std::strerror(result);
        ::close(fd);
        return -1;
    }
    return fd;
}

int SocketTransport::openDescriptor() {
    std::string why;
    const std::vector<sockaddr_storage> addresses = resolver_(host_, port_, &why);
    if (addresses.empty()) {
        throw TransportError(TransportError::Reason::UnknownHost,
                             "unknown host " + host_ + (why.empty() ? "" : " (" + why + ")"));
    }
    int error = 0;
    int fd = -1;
    for (const sockaddr_storage& address : addresses) {
        fd = connectTo(address, &why, &error);
        if (fd >= 0) {
            break;
        }
    }
    if (fd < 0) {
        const TransportError::Reason reason = ReasonOf(error);
        const std::string what = reason == TransportError::Reason::Refused
                                     ? "connection refused (nothing listens there, or the meter "
                                       "already has a connection)"
                                     : why;
        throw TransportError(reason, host_ + " port " + std::to_string(port_) + ": " + what, error);
    }
    KeepAlive(fd);
    return fd;
}

} // namespace velmora
