// A blocking client of the control interface for tests and benchmarks: lines out, lines in.
#pragma once

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velmora::test {

class ControlClient {
public:
    // A Unix socket's path, or a TCP port on 127.0.0.1.
    explicit ControlClient(const std::string& socketPath) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            closeNow();
        }
    }
    explicit ControlClient(uint16_t tcpPort) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(tcpPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            closeNow();
        }
    }
    ~ControlClient() { closeNow(); }
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes) {
        size_t at = 0;
        while (fd_ >= 0 && at < bytes.size()) {
            const ssize_t sent = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            at += static_cast<size_t>(sent);
        }
        return fd_ >= 0;
    }
    // The next line without its LF; nothing once `timeout` has passed or the
    // connection closed.
    std::optional<std::string>
    readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (fd_ < 0 || left.count() <= 0) {
                return std::nullopt;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char chunk[4096];
            const ssize_t got = ::recv(fd_, chunk, sizeof chunk, 0);
            if (got <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<size_t>(got));
        }
    }
    std::optional<std::string> ask(const std::string& line,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        if (!send(line + "\n")) {
            return std::nullopt;
        }
        return readLine(timeout);
    }
    void closeNow() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = -1;
    }

private:
    int fd_ = -1;
    std::string buffer_;
};

} // namespace velmora::test
