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
    : QObject(parent)
    , host_(std::move(host))
    , port_(port)
    , resolver_(SystemResolver()) {
    returnPoll_.setInterval(500);
    QObject::connect(&returnPoll_, &QTimer::timeout, this, [this] {
        if (present_) {
            present_();
        }
    });
}

SocketTransport::~SocketTransport() {
    close();
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

void SocketTransport::open() {
    if (fd_ >= 0) {
        return;
    }
    std::string why;
    const std::vector<sockaddr_storage> addresses = resolver_(host_, port_, &why);
    if (addresses.empty()) {
        throw TransportError(TransportError::Reason::UnknownHost,
                             "unknown host " + host_ + (why.empty() ? "" : " (" + why + ")"));
    }
    int error = 0;
    for (const sockaddr_storage& address : addresses) {
        fd_ = connectTo(address, &why, &error);
        if (fd_ >= 0) {
            break;
        }
    }
    if (fd_ < 0) {
        const TransportError::Reason reason = ReasonOf(error);
        const std::string what = reason == TransportError::Reason::Refused
                                     ? "connection refused (nothing listens there, or the meter "
                                       "already has a connection)"
                                     : why;
        throw TransportError(reason, host_ + " port " + std::to_string(port_) + ": " + what, error);
    }
    KeepAlive(fd_);
    incoming_.clear();
    outgoing_.clear();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, this,
                     [this] { readable(); });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, this,
                     [this] { writable(); });
}

void SocketTransport::close() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    incoming_.clear();
    outgoing_.clear();
}

bool SocketTransport::send(std::string_view bytes) {
    if (fd_ < 0) {
        return false;
    }
    outgoing_.append(bytes);
    writable();
    return true;
}

void SocketTransport::writable() {
    while (fd_ >= 0 && !outgoing_.empty()) {
        const ssize_t n = ::send(fd_, outgoing_.data(), outgoing_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            outgoing_.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            break; // the rest when the socket has room
        }
        lost();
        return;
    }
    if (writeNotifier_) {
        writeNotifier_->setEnabled(!outgoing_.empty());
    }
}

void SocketTransport::readable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n > 0) {
            incoming_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        const bool closed = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
        deliverLines();
        if (closed) {
            lost();
        }
        return;
    }
}

void SocketTransport::deliverLines() {
    size_t start = 0;
    while (fd_ >= 0) {
        const size_t lineFeed = incoming_.find('\n', start);
        size_t end = 0;
        if (lineFeed != std::string::npos && lineFeed - start < kLongestPiece) {
            end = lineFeed + 1;
        } else if (incoming_.size() - start >= kLongestPiece) {
            end = start + kLongestPiece; // a piece of an over-long line
        } else {
            break;
        }
        const std::string piece = incoming_.substr(start, end - start); // zero-terminated
        start = end;
        if (onReceive) {
            onReceive(piece.c_str(), piece.size());
        }
    }
    incoming_.erase(0, std::min(start, incoming_.size()));
}

void SocketTransport::lost() {
    if (fd_ < 0) {
        return;
    }
    // Told from the event loop, not from inside a read or a send.
    readNotifier_->setEnabled(false);
    if (writeNotifier_) {
        writeNotifier_->setEnabled(false);
    }
    QTimer::singleShot(0, this, [this] {
        if (fd_ >= 0 && onLost) {
            onLost();
        }
    });
}

void SocketTransport::watchForReturn(std::function<void()> present) {
    present_ = std::move(present);
    returnPoll_.start();
}

void SocketTransport::stopWatching() {
    returnPoll_.stop();
    present_ = nullptr;
}

bool SocketTransport::retryAfterOpenError(const std::exception& error) {
    const auto* transport = dynamic_cast<const TransportError*>(&error);
    return transport && transport->passing();
}

} // namespace velmora
