// The /metrics endpoint Prometheus scrapes: a small HTTP server for one page.
#pragma once

#include "publish/metrics_state.h"

#include <QHostAddress>
#include <QObject>

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class QTcpServer;
class QTcpSocket;

namespace velmora {

// Where to serve, as the user writes it; the address is 127.0.0.1 unless
// given, an IPv6 one in brackets:
//   "9100"           -> 127.0.0.1 port 9100
//   ":9100"          -> 127.0.0.1 port 9100
//   "0.0.0.0:9100"   -> every IPv4 interface
//   "[::1]:9100"     -> IPv6 loopback
// Nothing, with why in `error`, for anything else ("::1:9100", "host:9100", "9100x").
std::optional<std::pair<QHostAddress, quint16>> ParseMetricsAddress(std::string_view text,
                                                                    std::string* error);

// Answers GET (and HEAD) /metrics with the state's exposition, 404 for any
// other path, 405 for any other method, and closes each connection after its
// answer. Built to face any client on the network: a request's header is
// read up to 8 kB (431 beyond), a client has 10 s to send it, and at most 16
// are served at once (more are closed at once). Main thread only.
class MetricsEndpoint : public QObject {
public:
    static constexpr size_t kMostClients = 16;
    static constexpr qsizetype kMostHeader = 8 * 1024;
    static constexpr std::chrono::milliseconds kRequestTime{10'000};
    // After the answer, how long the client's further bytes are read and
    // dropped while it closes: closing on unread bytes would reset the
    // connection and could take the answer with it.
    static constexpr std::chrono::milliseconds kLingerTime{2'000};

    explicit MetricsEndpoint(QObject* parent = nullptr);
    ~MetricsEndpoint() override;

    // Port 0 takes any free one (see port()). False, with why, when it cannot.
    bool listen(const QHostAddress& address, quint16 port, std::string* error);
    void close();
    quint16 port() const;
    size_t clientCount() const { return clients_.size(); }

    MetricsState& state() { return state_; }
    // How long a reading is served, asked at each scrape (the poll interval
    // may change while serving).
    std::function<std::chrono::milliseconds()> freshFor = [] {
        return std::chrono::milliseconds(3000);
    };
    // The time a client has for its request; tests shorten it.
    void setRequestTime(std::chrono::milliseconds time) { requestTime_ = time; }

private:
    struct Client;
    void accept();
    void readFrom(QTcpSocket* socket);
    void answer(Client& client, std::string_view header);
    void send(Client& client, int status, const std::string& body, bool withBody,
              const char* extraHeader = nullptr);
    void finishWhenWritten(Client& client);
    void drop(QTcpSocket* socket);

    QTcpServer* server_ = nullptr;
    MetricsState state_;
    std::chrono::milliseconds requestTime_ = kRequestTime;
    std::map<QTcpSocket*, std::unique_ptr<Client>> clients_;
};

} // namespace velmora
