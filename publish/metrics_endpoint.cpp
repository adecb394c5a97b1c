// The /metrics endpoint Prometheus scrapes.
#include "publish/metrics_endpoint.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <sys/socket.h>

namespace velmora {

namespace {

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 431:
        return "Request Header Fields Too Large";
    default:
        return "Error";
    }
}

// Where the header ends (just past its blank line) within `text`, or 0.
// A bare line feed is taken for CR LF, as the HTTP rules let a server do.
size_t HeaderEnd(std::string_view text) {
    const size_t crlf = text.find("\r\n\r\n");
    const size_t lf = text.find("\n\n");
    const size_t end = std::min(crlf == std::string_view::npos ? crlf : crlf + 4,
                                lf == std::string_view::npos ? lf : lf + 2);
    return end == std::string_view::npos ? 0 : end;
}

std::optional<quint16> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535) {
        return std::nullopt;
    }
    return static_cast<quint16>(value);
}

} // namespace

std::optional<std::pair<QHostAddress, quint16>> ParseMetricsAddress(std::string_view text,
                                                                    std::string* error) {
    const auto fail = [&](const std::string& why) {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    const std::string quoted = "\"" + std::string(text) + "\"";
    std::string_view host;
    std::string_view portText = text;
    bool bracketed = false;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return fail("not an address and port: " + quoted + " (an IPv6 one as [::1]:9100)");
        }
        bracketed = true;
        host = text.substr(1, close - 1);
        portText = text.substr(close + 2);
    } else if (const size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (host.find(':') != std::string_view::npos) {
            return fail("an IPv6 address goes in brackets: " + quoted + " (as [::1]:9100)");
        }
    }
    const std::optional<quint16> port = ParsePort(portText);
    if (!port) {
        return fail("not a port: " + quoted + " (0 to 65535)");
    }
    if (host.empty() && !bracketed) {
        return std::pair{QHostAddress(QHostAddress::LocalHost), *port};
    }
    QHostAddress address;
    const auto wanted = bracketed ? QAbstractSocket::IPv6Protocol : QAbstractSocket::IPv4Protocol;
    if (!address.setAddress(QString::fromUtf8(host.data(), static_cast<qsizetype>(host.size()))) ||
        address.protocol() != wanted) {
        return fail("not a numeric " + std::string(bracketed ? "IPv6" : "IPv4") +
                    " address: " + quoted);
    }
    return std::pair{address, *port};
}

struct MetricsEndpoint::Client {
    QTcpSocket* socket = nullptr;
    QTimer* deadline = nullptr; // the socket's child
    std::string request;
    bool answered = false;
    bool shutDown = false;
};

MetricsEndpoint::MetricsEndpoint(QObject* parent)
    : QObject(parent) {}

MetricsEndpoint::~MetricsEndpoint() {
    close();
}

bool MetricsEndpoint::listen(const QHostAddress& address, quint16 port, std::string* error) {
    close();
    server_ = new QTcpServer(this);
    connect(server_, &QTcpServer::newConnection, this, &MetricsEndpoint::accept);
    if (!server_->listen(address, port)) {
        if (error) {
            *error = "cannot serve metrics on " + address.toString().toStdString() + " port " +
                     std::to_string(port) + ": " + server_->errorString().toStdString();
        }
        close();
        return false;
    }
    return true;
}

void MetricsEndpoint::close() {
    while (!clients_.empty()) {
        drop(clients_.begin()->first);
    }
    if (server_) {
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
}

quint16 MetricsEndpoint::port() const {
    return server_ ? server_->serverPort() : 0;
}

void MetricsEndpoint::accept() {
    while (server_ && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        if (clients_.size() >= kMostClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        // Read a little at a time, so a flood waits in the kernel, not here.
        socket->setReadBufferSize(4096);
        client->deadline = new QTimer(socket);
        client->deadline->setSingleShot(true);
        connect(client->deadline, &QTimer::timeout, this, [this, socket] { drop(socket); });
        client->deadline->start(requestTime_);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (const auto found = clients_.find(socket); found != clients_.end()) {
                finishWhenWritten(*found->second);
            }
        });
        clients_.emplace(socket, std::move(client));
        readFrom(socket);
    }
}

void MetricsEndpoint::readFrom(QTcpSocket* socket) {
    const auto found = clients_.find(socket);
    if (found == clients_.end()) {
        return;
    }
    Client& client = *found->second;
    const QByteArray bytes = socket->readAll();
    if (client.answered) {
        return; // lingering: dropped unread
    }
    client.request.append(bytes.constData(), static_cast<size_t>(bytes.size()));
    const std::string_view head(client.request.data(),
                                std::min(client.request.size(), static_cast<size_t>(kMostHeader)));
    if (const size_t end = HeaderEnd(head)) {
        answer(client, head.substr(0, end));
    } else if (head.size() == static_cast<size_t>(kMostHeader)) {
        send(client, 431, "request header too large\n", true);
    }
}

void MetricsEndpoint::answer(Client& client, std::string_view header) {
    std::string_view line = header.substr(0, header.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    const size_t first = line.find(' ');
    const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
    if (second == std::string_view::npos) {
        send(client, 400, "bad request\n", true);
        return;
    }
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, second - first - 1);
    const std::string_view version = line.substr(second + 1);
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        send(client, 400, "bad request\n", true);
        return;
    }
    const bool head = method == "HEAD";
    if (method != "GET" && !head) {
        send(client, 405, "only GET and HEAD\n", true, "Allow: GET, HEAD\r\n");
        return;
    }
    if (target.substr(0, target.find('?')) != "/metrics") {
        send(client, 404, "not found; the metrics are at /metrics\n", !head);
        return;
    }
    send(client, 200, state_.exposition(MetricsState::Clock::now(), freshFor()), !head);
}

void MetricsEndpoint::send(Client& client, int status, const std::string& body, bool withBody,
                           const char* extraHeader) {
    std::string response = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
    response += status == 200 ? "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
                              : "Content-Type: text/plain; charset=utf-8\r\n";
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    response += "Connection: close\r\n";
    if (extraHeader) {
        response += extraHeader;
    }
    response += "\r\n";
    if (withBody) {
        response += body;
    }
    client.answered = true;
    client.request.clear();
    client.deadline->start(kLingerTime);
    client.socket->write(response.data(), static_cast<qint64>(response.size()));
    client.socket->flush();
    finishWhenWritten(client);
}

void MetricsEndpoint::finishWhenWritten(Client& client) {
    if (!client.answered || client.shutDown || client.socket->bytesToWrite() > 0) {
        return;
    }
    // Only our side ends: the client reads the answer to its end, then closes,
    // and its last bytes meanwhile are read and dropped instead of resetting.
    client.shutDown = true;
    ::shutdown(static_cast<int>(client.socket->socketDescriptor()), SHUT_WR);
}

void MetricsEndpoint::drop(QTcpSocket* socket) {
    const auto found = clients_.find(socket);
    if (found == clients_.end()) {
        return;
    }
    clients_.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

} // namespace velmora
