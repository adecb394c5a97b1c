// The control interface's sockets.
#include "control/control_server.h"

#include "control/control_folder.h"
#include "control/control_session.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <system_error>
#include <unistd.h>

namespace velmora {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

} // namespace

struct ControlServer::Listener {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Listener() {
        notifier.reset();
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

struct ControlServer::Client {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    std::unique_ptr<ControlSession> session;
    std::string output;
    bool gone = false;
    ~Client() {
        readable.reset();
        writable.reset();
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

ControlServer::ControlServer(ControlContext& context, QObject* parent)
    : QObject(parent)
    , context_(context) {}

ControlServer::~ControlServer() {
    close();
}

std::optional<std::string> ControlServer::listen(const ControlListen& how) {
    close();
    const std::string folder = how.folder.empty() ? ControlFolder() : how.folder;
    const std::string name = SocketNameFor(how.name);
    if (how.unixSocket || how.tcpPort) {
        if (std::optional<std::string> problem = PreparePrivateFolder(folder)) {
            return problem;
        }
    }
    if (how.unixSocket) {
        if (std::optional<std::string> problem = listenUnix(folder + "/" + name + ".sock")) {
            close();
            return problem;
        }
    }
    if (how.tcpPort) {
        tokenPath_ = folder + "/" + name + ".token";
        try {
            token_ = WriteTokenFile(tokenPath_);
        } catch (const std::system_error& error) {
            tokenPath_.clear();
            close();
            return "cannot write the token: " + Reason(error.code().value());
        }
        if (std::optional<std::string> problem = listenTcp(how.tcpAddress, *how.tcpPort)) {
            close();
            return problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ControlServer::listenUnix(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        return "the socket's path is too long: " + path;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return "cannot make a socket: " + Reason(errno);
    }
    auto listener = std::make_unique<Listener>();
    listener->fd = fd;
    // A socket left by a program that ended is replaced; one that answers is
    // another Velmora's, serving this meter.
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            return path + " is there and is not a socket";
        }
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool answered =
            probe >= 0 &&
            ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0) {
            ::close(probe);
        }
        if (answered) {
            return "another program serves " + path;
        }
        ::unlink(path.c_str());
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return "cannot make " + path + ": " + Reason(errno);
    }
    socketPath_ = path;
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
        return "cannot listen on " + path + ": " + Reason(errno);
    }
    listener->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listener->notifier.get(), &QSocketNotifier::activated, this,
            [this, fd] { accept(fd, false); });
    unix_ = std::move(listener);
    return std::nullopt;
}

std::optional<std::string> ControlServer::listenTcp(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST | AI_PASSIVE;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || found == nullptr) {
        return "not an address: " + host;
    }
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    auto listener = std::make_unique<Listener>();
    listener->fd = fd;
    const int yes = 1;
    bool loopback = false;
    if (found->ai_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        loopback = (ntohl(in->sin_addr.s_addr) >> 24) == 127;
    } else if (found->ai_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(found->ai_addr);
        loopback = IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
    }
    const bool bound = fd >= 0 &&
                       ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) == 0 &&
                       ::bind(fd, found->ai_addr, found->ai_addrlen) == 0 && ::listen(fd, 16) == 0;
    const int why = errno;
    ::freeaddrinfo(found);
    if (!bound) {
        return "cannot listen on " + host + " port " + service + ": " + Reason(why);
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    tcpPort_ =
        ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port
                                          : reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
    exposed_ = !loopback;
    listener->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listener->notifier.get(), &QSocketNotifier::activated, this,
            [this, fd] { accept(fd, true); });
    tcp_ = std::move(listener);
    return std::nullopt;
}

void ControlServer::close() {
    clients_.clear();
    unix_.reset();
    tcp_.reset();
    if (!socketPath_.empty()) {
        ::unlink(socketPath_.c_str());
        socketPath_.clear();
    }
    if (!tokenPath_.empty()) {
        ::unlink(tokenPath_.c_str());
        tokenPath_.clear();
    }
    token_.clear();
    tcpPort_ = 0;
    exposed_ = false;
}

void ControlServer::accept(int listenFd, bool tcp) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        return;
    }
    if (clients_.size() >= kMostClients) {
        static constexpr char kBusy[] = "-221,\"Settings conflict;too many clients\"\n";
        (void)::send(fd, kBusy, sizeof kBusy - 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        return;
    }
    const int id = nextId_++;
    auto client = std::make_unique<Client>();
    client->fd = fd;
    client->session = std::make_unique<ControlSession>(context_, tcp ? token_ : std::string());
    client->session->onOutput = [this, id] { flush(id); };
    client->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    client->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    client->writable->setEnabled(false);
    connect(client->readable.get(), &QSocketNotifier::activated, this,
            [this, id] { readFrom(id); });
    connect(client->writable.get(), &QSocketNotifier::activated, this, [this, id] { flush(id); });
    clients_.emplace(id, std::move(client));
}

void ControlServer::readFrom(int id) {
    const auto found = clients_.find(id);
    if (found == clients_.end() || found->second->gone) {
        return;
    }
    Client& client = *found->second;
    char buffer[kReadChunk];
    const ssize_t got = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        drop(id);
        return;
    }
    if (got > 0) {
        client.session->take(std::string_view(buffer, static_cast<size_t>(got)));
    }
    flush(id);
}

void ControlServer::flush(int id) {
    const auto found = clients_.find(id);
    if (found == clients_.end() || found->second->gone) {
        return;
    }
    Client& client = *found->second;
    client.output += client.session->takeOutput();
    while (!client.output.empty()) {
        const ssize_t sent = ::send(client.fd, client.output.data(), client.output.size(),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                break;
            }
            if (errno == EINTR) {
                continue;
            }
            drop(id); // gone mid-reply
            return;
        }
        client.output.erase(0, static_cast<size_t>(sent));
    }
    if (client.output.size() > kMostOutput) {
        drop(id);
        return;
    }
    updateNotifiers(client);
}

void ControlServer::updateNotifiers(Client& client) {
    client.writable->setEnabled(!client.output.empty());
    // Held while its replies pile up, or while one waits (its next lines
    // stay in the socket, where the kernel holds them back).
    const bool held = client.output.size() > kHeldOutput || client.session->waiting() ||
                      client.session->pendingInput() > ControlSession::kLongestLine;
    client.readable->setEnabled(!held);
}

void ControlServer::drop(int id) {
    const auto found = clients_.find(id);
    if (found == clients_.end() || found->second->gone) {
        return;
    }
    // Its session may be the caller: it goes once the call is over.
    Client& client = *found->second;
    client.gone = true;
    client.readable->setEnabled(false);
    client.writable->setEnabled(false);
    QMetaObject::invokeMethod(
        this, [this, id] { clients_.erase(id); }, Qt::QueuedConnection);
}

} // namespace velmora
