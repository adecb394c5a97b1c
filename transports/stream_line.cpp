// The stream line: non-blocking reads and writes, line framing, loss and return.
#include "transports/stream_line.h"

#include "transports/transport_error.h"

#include <QSocketNotifier>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velmora {

StreamLine::StreamLine(QObject* parent)
    : QObject(parent) {
    returnPoll_.setInterval(500);
    QObject::connect(&returnPoll_, &QTimer::timeout, this, [this] {
        if (present_) {
            present_();
        }
    });
}

StreamLine::~StreamLine() {
    // Subclasses own nothing the descriptor needs, so closing here is safe.
    readNotifier_.reset();
    writeNotifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void StreamLine::open() {
    if (fd_ >= 0) {
        return;
    }
    fd_ = openDescriptor();
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

void StreamLine::close() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    incoming_.clear();
    outgoing_.clear();
}

ssize_t StreamLine::writeSome(int fd, const char* bytes, size_t length) {
    return ::write(fd, bytes, length);
}

bool StreamLine::send(std::string_view bytes) {
    if (fd_ < 0) {
        return false;
    }
    outgoing_.append(bytes);
    writable();
    return true;
}

void StreamLine::writable() {
    while (fd_ >= 0 && !outgoing_.empty()) {
        const ssize_t n = writeSome(fd_, outgoing_.data(), outgoing_.size());
        if (n > 0) {
            outgoing_.erase(0, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            break; // the rest when there is room
        }
        lost();
        return;
    }
    if (writeNotifier_) {
        writeNotifier_->setEnabled(!outgoing_.empty());
    }
}

bool StreamLine::readAvailable() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n > 0) {
            incoming_.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        // A terminal whose other end is gone reads as an error (EIO), a
        // closed socket as the end of the stream.
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void StreamLine::readable() {
    const bool open = readAvailable();
    deliverLines();
    if (!open) {
        lost();
    }
}

std::optional<std::string> StreamLine::awaitLine(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (fd_ >= 0) {
        const size_t lineFeed = incoming_.find('\n');
        if (lineFeed != std::string::npos) {
            std::string line = incoming_.substr(0, lineFeed + 1);
            incoming_.erase(0, lineFeed + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd wait{fd_, POLLIN, 0};
        const int ready = ::poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR) {
            break;
        }
        if (ready > 0 && !readAvailable()) {
            break;
        }
    }
    return std::nullopt;
}

void StreamLine::deliverLines() {
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

void StreamLine::lost() {
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

void StreamLine::watchForReturn(std::function<void()> present) {
    present_ = std::move(present);
    returnPoll_.start();
}

void StreamLine::stopWatching() {
    returnPoll_.stop();
    present_ = nullptr;
}

bool StreamLine::retryAfterOpenError(const std::exception& error) {
    const auto* transport = dynamic_cast<const TransportError*>(&error);
    return transport && transport->passing();
}

} // namespace velmora
