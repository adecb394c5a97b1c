// The /metrics endpoint over real loopback sockets: good and bad requests, the limits a hostile
// client meets, the address option, and a real Prometheus scraping it until a series goes stale.
#include "publish/metrics_endpoint.h"

#include "tests/publish/prometheus_server.h"
#include "tests/support/event_wait.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;

// Sends `pieces` (the loop running between them, so the endpoint on this
// thread reads each apart) and reads until the server closes, at most 5 s.
std::optional<std::string> Exchange(quint16 port, const std::vector<std::string>& pieces) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    for (const std::string& piece : pieces) {
        socket.write(piece.data(), static_cast<qint64>(piece.size()));
        test::WaitForEvents([&] { return socket.bytesToWrite() == 0; }, 5s);
        test::WaitForEvents([] { return false; }, 20ms);
    }
    std::string bytes;
    const bool closed = test::WaitForEvents(
        [&] {
            bytes += socket.readAll().toStdString();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        5s);
    return closed ? std::optional(bytes + socket.readAll().toStdString()) : std::nullopt;
}

const std::string kSample =
    R"(velmora_reading{meter="bench \"1\"",function="VOLT",unit="V DC"} 1.25)";

PublishedItem BenchReading(const std::string& meter) {
    PublishedItem item;
    item.meter = meter;
    item.function = "VOLT";
    item.unit = "V DC";
    item.value = 1.25;
    item.status = "ok";
    return item;
}

class Endpoint : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error;
        endpoint.state().reading(BenchReading("bench \"1\""), MetricsState::Clock::now());
        endpoint.freshFor = [] { return std::chrono::milliseconds(1h); };
    }
    MetricsEndpoint endpoint;
};

struct RequestRow {
    std::string name;
    std::string request;
    std::string statusLine;
    bool page;        // the exposition comes back
    size_t split = 0; // sent in two pieces, the second from here
    friend void PrintTo(const RequestRow& row, std::ostream* os) { *os << row.name; }
};

class Requests : public Endpoint, public testing::WithParamInterface<RequestRow> {};

TEST_P(Requests, AreAnsweredAndClosed) {
    const RequestRow& row = GetParam();
    const std::vector<std::string> pieces =
        row.split ? std::vector{row.request.substr(0, row.split), row.request.substr(row.split)}
                  : std::vector{row.request};
    const std::optional<std::string> response = Exchange(endpoint.port(), pieces);
    ASSERT_TRUE(response) << "not closed";
    const size_t end = response->find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << *response;
    const std::string head = response->substr(0, end + 2);
    const std::string body = response->substr(end + 4);
    EXPECT_EQ(head.substr(0, head.find("\r\n")), row.statusLine);
    EXPECT_NE(head.find("\r\nConnection: close\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n") !=
                  std::string::npos,
              row.statusLine == "HTTP/1.1 200 OK")
        << head;
    EXPECT_EQ(head.find("\r\nAllow: GET, HEAD\r\n") != std::string::npos,
              row.statusLine == "HTTP/1.1 405 Method Not Allowed")
        << head;
    const bool isHead = row.request.rfind("HEAD ", 0) == 0;
    EXPECT_EQ(body.empty(), isHead) << body;
    if (!isHead) {
        EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(body.size()) + "\r\n"),
                  std::string::npos)
            << head;
    }
    EXPECT_EQ(body.find(kSample + "\n") != std::string::npos, row.page) << body;
}

// A header of exactly `size` bytes, blank line included.
std::string HeaderOfSize(size_t size) {
    const std::string start = "GET /metrics HTTP/1.1\r\nX-Padding: ";
    return start + std::string(size - start.size() - 4, 'a') + "\r\n\r\n";
}

const std::string k200 = "HTTP/1.1 200 OK";
const std::string k400 = "HTTP/1.1 400 Bad Request";
const std::string k404 = "HTTP/1.1 404 Not Found";
const std::string k405 = "HTTP/1.1 405 Method Not Allowed";
const std::string k431 = "HTTP/1.1 431 Request Header Fields Too Large";

const RequestRow kRequests[] = {
    {"get", "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", k200, true},
    {"http_1_0", "GET /metrics HTTP/1.0\r\n\r\n", k200, true},
    {"query_string", "GET /metrics?x=1 HTTP/1.1\r\n\r\n", k200, true},
    {"bare_line_feeds", "GET /metrics HTTP/1.1\nHost: x\n\n", k200, true},
    {"in_pieces", "GET /metrics HTTP/1.1\r\n\r\n", k200, true, 24},
    {"body_after_the_header", "GET /metrics HTTP/1.1\r\nContent-Length: 2\r\n\r\nhi", k200, true},
    {"head", "HEAD /metrics HTTP/1.1\r\n\r\n", k200, false},
    {"root", "GET / HTTP/1.1\r\n\r\n", k404, false},
    {"longer_path", "GET /metricsx HTTP/1.1\r\n\r\n", k404, false},
    {"post", "POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", k405, false},
    {"delete_elsewhere", "DELETE /x HTTP/1.1\r\n\r\n", k405, false},
    {"no_version", "GET /metrics\r\n\r\n", k400, false},
    {"http_2", "GET /metrics HTTP/2.0\r\n\r\n", k400, false},
    {"header_of_8192_bytes", HeaderOfSize(8192), k200, true},
    {"header_of_8193_bytes", HeaderOfSize(8193), k431, false},
    // The end comes in a later piece, after less than 8 kB.
    {"late_end_within_the_limit", HeaderOfSize(8192), k200, true, 8000},
    {"late_end_past_the_limit", HeaderOfSize(8193), k431, false, 8000},
    {"no_end_in_9000_bytes", "GET /metrics HTTP/1.1\r\nX: " + std::string(9000, 'a'), k431, false},
};
INSTANTIATE_TEST_SUITE_P(Rows, Requests, testing::ValuesIn(kRequests), test::RowName());

TEST_F(Endpoint, AClientThatSaysTooLittleIsDropped) {
    endpoint.setRequestTime(300ms);
    for (const std::string said : {"", "GET /metrics HTTP/1.1\r\n"}) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, endpoint.port());
        socket.write(said.data(), static_cast<qint64>(said.size()));
        EXPECT_TRUE(test::WaitForEvents(
            [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5s))
            << "still connected after \"" << said << "\"";
        EXPECT_EQ(socket.readAll(), QByteArray());
    }
}

TEST_F(Endpoint, ServesSixteenAtOnceAndClosesTheSeventeenth) {
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (size_t i = 0; i < MetricsEndpoint::kMostClients; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, endpoint.port());
    }
    ASSERT_TRUE(test::WaitForEvents([&] { return endpoint.clientCount() == idle.size(); }, 5s));
    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, endpoint.port());
    EXPECT_TRUE(test::WaitForEvents(
        [&] { return extra.state() == QAbstractSocket::UnconnectedState; }, 5s));
    idle.pop_back();
    ASSERT_TRUE(test::WaitForEvents([&] { return endpoint.clientCount() == idle.size(); }, 5s));
    const auto response = Exchange(endpoint.port(), {"GET /metrics HTTP/1.1\r\n\r\n"});
    EXPECT_EQ(response.value_or("").rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << "a place came free";
    for (const auto& socket : idle) {
        EXPECT_EQ(socket->state(), QAbstractSocket::ConnectedState) << "the 15 are kept";
    }
}

TEST_F(Endpoint, APortInUseIsRefusedWithWhy) {
    MetricsEndpoint second;
    std::string error;
    EXPECT_FALSE(second.listen(QHostAddress::LocalHost, endpoint.port(), &error));
    EXPECT_NE(error, "");
}

TEST(MetricsAddress, IsReadAsTheUserMeantIt) {
    const std::tuple<std::string, std::string, quint16> kTaken[] = {
        {"9100", "127.0.0.1", 9100},   {":9100", "127.0.0.1", 9100},
        {"0", "127.0.0.1", 0},         {"65535", "127.0.0.1", 65535},
        {"0.0.0.0:80", "0.0.0.0", 80}, {"192.168.1.20:80", "192.168.1.20", 80},
        {"[::1]:9100", "::1", 9100},   {"[::]:9100", "::", 9100},
    };
    for (const auto& [text, address, port] : kTaken) {
        std::string error;
        const auto parsed = ParseMetricsAddress(text, &error);
        ASSERT_TRUE(parsed) << text << ": " << error;
        EXPECT_EQ(parsed->first, QHostAddress(QString::fromStdString(address))) << text;
        EXPECT_EQ(parsed->second, port) << text;
    }
    for (const char* text :
         {"", ":", "65536", "009100", "9100x", "+80", " 9100", "127.0.0.1:", "::1:9100", "[::1]",
          "[::1]9100", "[127.0.0.1]:80", "[]:80", "localhost:9100"}) {
        std::string error;
        EXPECT_FALSE(ParseMetricsAddress(text, &error)) << '"' << text << "\" taken";
        EXPECT_NE(error, "") << text;
    }
}

// Names with quotes and backslashes come back from Prometheus as they were,
// with the value served; the series ends once the link is down.
TEST(PrometheusServer, ScrapesTheReadingAndSeesItGoStale) {
    if (!test::PrometheusServer::Installed()) {
        GTEST_SKIP() << "install Debian's prometheus package (" << test::kPrometheusProgram
                     << ") to run";
    }
    const std::string meter = "bench \"1\", C:\\ \u03A9\n2";
    MetricsEndpoint endpoint;
    std::string error;
    ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error;
    endpoint.freshFor = [] { return std::chrono::milliseconds(1h); };
    endpoint.state().reading(BenchReading(meter), MetricsState::Clock::now());
    test::PrometheusServer prometheus;
    ASSERT_TRUE(prometheus.start(endpoint.port()));

    const auto valueOf = [&](const QString& query) -> std::optional<QJsonObject> {
        const std::optional<QJsonArray> result = prometheus.query(query);
        if (!result || result->size() != 1) {
            return std::nullopt;
        }
        return result->at(0).toObject();
    };
    std::optional<QJsonObject> series;
    ASSERT_TRUE(test::WaitForEvents(
        [&] { return (series = valueOf(QStringLiteral("velmora_reading"))).has_value(); }, 20s))
        << "no velmora_reading in 20 s";
    const QJsonObject labels = series->value(QStringLiteral("metric")).toObject();
    EXPECT_EQ(labels.value(QStringLiteral("meter")).toString().toStdString(), meter);
    EXPECT_EQ(labels.value(QStringLiteral("unit")).toString(), QStringLiteral("V DC"));
    EXPECT_EQ(series->value(QStringLiteral("value")).toArray().at(1), QStringLiteral("1.25"));

    endpoint.state().linkState(meter, false);
    EXPECT_TRUE(test::WaitForEvents(
        [&] {
            const std::optional<QJsonArray> result =
                prometheus.query(QStringLiteral("velmora_reading"));
            return result && result->isEmpty();
        },
        20s))
        << "velmora_reading still there 20 s after the link went down";
    // Still scraped: the series ended with its sample, not with the target.
    EXPECT_TRUE(test::WaitForEvents(
        [&] {
            series = valueOf(QStringLiteral("velmora_link_up"));
            return series &&
                   series->value(QStringLiteral("value")).toArray().at(1) == QStringLiteral("0");
        },
        20s));
}

} // namespace
} // namespace velmora
