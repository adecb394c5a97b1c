// The emulated meter's network side: one connection at a time on 127.0.0.1, as LAN meters take it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>

namespace velmora {

// Listens on the loopback only (never another address), non-blocking. A
// second connection while one is open is accepted and closed at once, as a
// meter that takes one connection only refuses it.
class TcpListener {
public:
    // Port 0: any free port. Throws std::system_error.
    explicit TcpListener(uint16_t port);
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    uint16_t Port() const { return port_; }
    int ListenFd() const { return listen_; }
    int ConnectionFd() const { return connection_; }
    bool Connected() const { return connection_ >= 0; }

    // Takes a waiting connection (the listener was readable).
    void Accept();
    void DropConnection();
    // The listener closed (connections are refused) and opened again on
    // the same port.
    void StopListening();
    void Listen();

    // Writes every byte to the connection; false when there is none or
    // `timeout` passes first.
    bool Write(std::string_view bytes,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));

    int Accepted() const { return accepted_; }
    int Refused() const { return refused_; }

private:
    uint16_t port_;
    int listen_ = -1;
    int connection_ = -1;
    int accepted_ = 0;
    int refused_ = 0;
};

} // namespace velmora
