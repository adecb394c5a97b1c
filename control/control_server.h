// The control interface's sockets: a private Unix socket, and a TCP port when asked for.
#pragma once

#include "control/control_context.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace velmora {

class ControlSession;

struct ControlListen {
    std::string folder; // empty: ControlFolder()
    std::string name;   // the meter's, made a file name by SocketNameFor
    bool unixSocket = true;
    std::optional<uint16_t> tcpPort; // 0: any free one (tests)
    std::string tcpAddress = "127.0.0.1";
};

// Serves several clients at once, each with a session of its own. The Unix
// socket is NAME.sock in the private folder (0600); TCP clients need the
// token that is written to NAME.token beside it (0600, new at every start).
// A client is read at most 4 kB at a time, and not at all while more than
// 64 kB of its replies wait to be written or one of its replies waits for
// the meter: one that never reads, or floods, slows nobody but itself; one
// whose replies pile up beyond 1 MB is let go. Main thread only.
class ControlServer : public QObject {
public:
    static constexpr size_t kMostClients = 32;
    static constexpr size_t kReadChunk = 4096;
    static constexpr size_t kHeldOutput = 64 * 1024;
    static constexpr size_t kMostOutput = 1024 * 1024;

    explicit ControlServer(ControlContext& context, QObject* parent = nullptr);
    ~ControlServer() override;

    // Opens what `how` asks for; why not, with nothing left open.
    std::optional<std::string> listen(const ControlListen& how);
    void close();

    const std::string& socketPath() const { return socketPath_; }
    const std::string& tokenPath() const { return tokenPath_; }
    uint16_t tcpPort() const { return tcpPort_; }
    // TCP on an address other hosts can reach.
    bool exposed() const { return exposed_; }
    size_t clientCount() const { return clients_.size(); }

private:
    struct Client;
    struct Listener;
    std::optional<std::string> listenUnix(const std::string& path);
    std::optional<std::string> listenTcp(const std::string& address, uint16_t port);
    void accept(int listenFd, bool tcp);
    void readFrom(int id);
    void flush(int id);
    void updateNotifiers(Client& client);
    void drop(int id);

    ControlContext& context_;
    std::unique_ptr<Listener> unix_;
    std::unique_ptr<Listener> tcp_;
    std::string socketPath_;
    std::string tokenPath_;
    std::string token_;
    uint16_t tcpPort_ = 0;
    bool exposed_ = false;
    int nextId_ = 1;
    std::map<int, std::unique_ptr<Client>> clients_;
};

} // namespace velmora
