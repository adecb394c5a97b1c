// SCPI over a raw TCP socket (port 5025 on most LAN meters), as a meter transport.
#pragma once

#include "transports/stream_line.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace velmora {

// The addresses a host name stands for; empty with `why` set when it
// stands for none. A seam: tests never look a name up outside /etc/hosts.
using Resolver = std::function<std::vector<sockaddr_storage>(const std::string& host, uint16_t port,
                                                             std::string* why)>;
Resolver SystemResolver();

// Connects with a time-out (the open waits, as a serial port's does). An
// idle link is kept alive and a dead peer is noticed within 5 s (keep-alive
// probes, and TCP_USER_TIMEOUT for data not acknowledged); a connection the
// meter closes is a lost line.
class SocketTransport : public StreamLine {
public:
    SocketTransport(std::string host, uint16_t port, QObject* parent = nullptr);

    void setResolver(Resolver resolver) { resolver_ = std::move(resolver); }
    void setConnectTimeout(std::chrono::milliseconds timeout) { connectTimeout_ = timeout; }

    const std::string& host() const { return host_; }
    uint16_t port() const { return port_; }

    // Many LAN meters take seconds over the first answer after a connection.
    int firstReplyAllowanceMs() const override { return 10000; }

protected:
    // Throws TransportError: refused, unknown host, timed out, unreachable.
    int openDescriptor() override;
    ssize_t writeSome(int fd, const char* bytes, size_t length) override;

private:
    int connectTo(const sockaddr_storage& address, std::string* why, int* error);

    std::string host_;
    uint16_t port_;
    Resolver resolver_;
    std::chrono::milliseconds connectTimeout_{3000};
};

} // namespace velmora
