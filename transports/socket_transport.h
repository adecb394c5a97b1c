// SCPI over a raw TCP socket (port 5025 on most LAN meters), as a meter transport.
#pragma once

#include "acquisition/meter_transport.h"

#include <QObject>
#include <QTimer>

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace velmora {

// The addresses a host name stands for; empty with `why` set when it
// stands for none. A seam: tests never look a name up outside /etc/hosts.
using Resolver = std::function<std::vector<sockaddr_storage>(const std::string& host, uint16_t port,
                                                             std::string* why)>;
Resolver SystemResolver();

// Non-blocking, on the main thread's event loop. Replies are handed over a
// line at a time (up to and including the line feed), however TCP splits
// or joins them, so the engine sees what a serial chunk would give it; a
// line longer than 2048 bytes comes in pieces of that size. An idle link is
// kept alive and a dead peer is noticed within 5 s (keep-alive probes, and
// TCP_USER_TIMEOUT for data not acknowledged); a connection the meter closes
// is a lost line, and the return is looked for every half second.
class SocketTransport : public QObject, public MeterTransport {
public:
    SocketTransport(std::string host, uint16_t port, QObject* parent = nullptr);
    ~SocketTransport() override;

    // Wired by the host to the engine's receive() and lineLost().
    std::function<void(const char* bytes, size_t length)> onReceive;
    std::function<void()> onLost;

    void setResolver(Resolver resolver) { resolver_ = std::move(resolver); }
    void setConnectTimeout(std::chrono::milliseconds timeout) { connectTimeout_ = timeout; }
    void setReturnPoll(std::chrono::milliseconds interval) { returnPoll_.setInterval(interval); }

    const std::string& host() const { return host_; }
    uint16_t port() const { return port_; }

    bool isOpen() const override { return fd_ >= 0; }
    // Throws TransportError: refused, unknown host, timed out, unreachable.
    void open() override;
    void close() override;
    bool send(std::string_view bytes) override;
    void setEndReadAtLineFeed(bool) override {} // always framed by the line feed
    void watchForReturn(std::function<void()> present) override;
    void stopWatching() override;
    bool retryAfterOpenError(const std::exception& error) override;
    // Many LAN meters take seconds over the first answer after a connection.
    int firstReplyAllowanceMs() const override { return 10000; }

    static constexpr size_t kLongestPiece = 2048;

private:
    int connectTo(const sockaddr_storage& address, std::string* why, int* error);
    void readable();
    void writable();
    void deliverLines();
    void lost();

    std::string host_;
    uint16_t port_;
    Resolver resolver_;
    std::chrono::milliseconds connectTimeout_{3000};
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::string incoming_;
    std::string outgoing_;
    QTimer returnPoll_;
    std::function<void()> present_;
};

} // namespace velmora
