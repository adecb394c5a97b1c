// The /metrics endpoint over real loopback sockets: the answers to good and bad requests, the
// limits a hostile client meets, the address option, and a real Prometheus scraping it until a
// series goes stale.
#include "publish/metrics_endpoint.h"

#include "tests/publish/prometheus_server.h"
#include "tests/support/event_wait.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;

struct Response {
    bool closed = false; // the server ended the connection
    std::string bytes;
    int status = 0;
    std::map<std::string, std::string> headers;
    std::string body;
};

Response Parse(Response response) {
    const size_t end = response.bytes.find("\r\n\r\n");
    if (end == std::string::npos) {
        return response;
    }
    response.body = response.bytes.substr(end + 4);
    const std::string head = response.bytes.substr(0, end + 2);
    size_t from = head.find("\r\n") + 2;
    if (head.rfind("HTTP/1.1 ", 0) == 0) {
        response.status = std::stoi(head.substr(9, 3));
    }
    for (size_t eol; (eol = head.find("\r\n", from)) != std::string::npos; from = eol + 2) {
        const std::string line = head.substr(from, eol - from);
        const size_t colon = line.find(": ");
        if (colon != std::string::npos) {
            response.headers[line.substr(0, colon)] = line.substr(colon + 2);
        }
    }
    return response;
}

// Sends `pieces` to the endpoint (the loop running between them) and reads
// until the server closes; bounded by 5 s.
Response Exchange(quint16 port, const std::vector<std::string>& pieces) {
    Response response;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!test::WaitForEvents([&] { return socket.state() == QAbstractSocket::ConnectedState; },
                             5s)) {
        ADD_FAILURE() << "cannot connect";
        return response;
    }
    for (const std::string& piece : pieces) {
        socket.write(piece.data(), static_cast<qint64>(piece.size()));
        test::WaitForEvents([&] { return socket.bytesToWrite() == 0; }, 5s);
        // The endpoint runs on this thread: a moment for it to read this piece
        // before the next one comes (only the pieces' order matters).
        test::WaitForEvents([] { return false; }, 20ms);
    }
    response.closed = test::WaitForEvents(
        [&] {
            const QByteArray bytes = socket.readAll();
            response.bytes.append(bytes.constData(), static_cast<size_t>(bytes.size()));
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        5s);
    const QByteArray rest = socket.readAll();
    response.bytes.append(rest.constData(), static_cast<size_t>(rest.size()));
    return Parse(response);
}

Response Exchange(quint16 port, const std::string& request) {
    return Exchange(port, std::vector<std::string>{request});
}

const std::string kSample =
    R"(velmora_reading{meter="bench \"1\"",function="VOLT",unit="V DC"} 1.25)";

class Endpoint : public testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error;
        ASSERT_NE(endpoint.port(), 0);
        PublishedItem item;
        item.meter = "bench \"1\"";
        item.function = "VOLT";
        item.unit = "V DC";
        item.value = 1.25;
        item.status = "ok";
        endpoint.state().reading(item, MetricsState::Clock::now());
        endpoint.freshFor = [] { return std::chrono::milliseconds(1h); };
    }

    MetricsEndpoint endpoint;
};

struct RequestRow {
    std::string name;
    std::string request;
    int status;
    bool body;        // the page itself comes back
    size_t split = 0; // sent in two pieces, the second from here
    friend void PrintTo(const RequestRow& row, std::ostream* os) { *os << row.name; }
};

class Requests : public Endpoint, public testing::WithParamInterface<RequestRow> {};

TEST_P(Requests, AreAnsweredAndClosed) {
    const RequestRow& row = GetParam();
    Response response = row.split == 0
                            ? Exchange(endpoint.port(), row.request)
                            : Exchange(endpoint.port(), {row.request.substr(0, row.split),
                                                         row.request.substr(row.split)});
    ASSERT_TRUE(response.closed) << "still open after: " << response.bytes;
    EXPECT_EQ(response.status, row.status) << response.bytes;
    EXPECT_EQ(response.headers["Connection"], "close");
    ASSERT_TRUE(response.headers.count("Content-Length")) << response.bytes;
    if (row.status == 200) {
        EXPECT_EQ(response.headers["Content-Type"], "text/plain; version=0.0.4; charset=utf-8");
    }
    if (row.status == 405) {
        EXPECT_EQ(response.headers["Allow"], "GET, HEAD");
    }
    const bool head = row.request.rfind("HEAD ", 0) == 0;
    if (head) {
        EXPECT_EQ(response.body, "");
        EXPECT_NE(response.headers["Content-Length"], "0");
    } else {
        EXPECT_EQ(response.headers["Content-Length"], std::to_string(response.body.size()));
    }
    EXPECT_EQ(response.body.find(kSample + "\n") != std::string::npos, row.body) << response.body;
}

// A header of exactly `size` bytes, blank line included.
std::string HeaderOfSize(size_t size) {
    const std::string start = "GET /metrics HTTP/1.1\r\nX-Padding: ";
    return start + std::string(size - start.size() - 4, 'a') + "\r\n\r\n";
}

const RequestRow kRequests[] = {
    {"get", "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 200, true},
    {"http_1_0", "GET /metrics HTTP/1.0\r\n\r\n", 200, true},
    {"query_string", "GET /metrics?x=1 HTTP/1.1\r\n\r\n", 200, true},
    {"bare_line_feeds", "GET /metrics HTTP/1.1\nHost: x\n\n", 200, true},
    {"body_after_the_header", "GET /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello", 200, true},
    {"head", "HEAD /metrics HTTP/1.1\r\n\r\n", 200, false},
    {"root", "GET / HTTP/1.1\r\n\r\n", 404, false},
    {"longer_path", "GET /metricsx HTTP/1.1\r\n\r\n", 404, false},
    {"below_the_path", "GET /metrics/x HTTP/1.1\r\n\r\n", 404, false},
    {"post", "POST /metrics HTTP/1.1\r\nContent-Length: 0\r\n\r\n", 405, false},
    {"delete_elsewhere", "DELETE /x HTTP/1.1\r\n\r\n", 405, false},
    {"lower_case_get", "get /metrics HTTP/1.1\r\n\r\n", 405, false},
    {"no_version", "GET /metrics\r\n\r\n", 400, false},
    {"http_2", "GET /metrics HTTP/2.0\r\n\r\n", 400, false},
    {"header_of_8192_bytes", HeaderOfSize(8192), 200, true},
    {"header_of_8193_bytes", HeaderOfSize(8193), 431, false},
    // Its end comes past the limit in a later piece, after less than 8 kB.
    {"header_end_late_past_the_limit", HeaderOfSize(8193), 431, false, 8000},
    {"header_end_late_within_the_limit", HeaderOfSize(8192), 200, true, 8000},
    {"no_header_end_in_9000_bytes", "GET /metrics HTTP/1.1\r\nX: " + std::string(9000, 'a'), 431,
     false},
};
INSTANTIATE_TEST_SUITE_P(Rows, Requests, testing::ValuesIn(kRequests), test::RowName());

TEST_F(Endpoint, ARequestInPiecesIsPutTogether) {
    const Response response =
        Exchange(endpoint.port(), {"GE", "T /met", "rics HTTP/1.1\r", "\n\r", "\n"});
    EXPECT_EQ(response.status, 200) << response.bytes;
    EXPECT_NE(response.body.find(kSample), std::string::npos);
}

TEST_F(Endpoint, ServesTheStateAsItIsAtTheScrape) {
    endpoint.state().linkState("bench \"1\"", false);
    const Response down = Exchange(endpoint.port(), "GET /metrics HTTP/1.1\r\n\r\n");
    EXPECT_EQ(down.body.find(kSample), std::string::npos) << down.body;
    endpoint.state().linkState("bench \"1\"", true);
    endpoint.freshFor = [] { return std::chrono::milliseconds(0); };
    const Response stale = Exchange(endpoint.port(), "GET /metrics HTTP/1.1\r\n\r\n");
    EXPECT_EQ(stale.body.find(kSample), std::string::npos) << stale.body;
}

TEST_F(Endpoint, AClientThatSaysTooLittleIsDropped) {
    endpoint.setRequestTime(300ms);
    for (const std::string& said : {std::string(), std::string("GET /metrics HTTP/1.1\r\n")}) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, endpoint.port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        socket.write(said.data(), static_cast<qint64>(said.size()));
        EXPECT_TRUE(test::WaitForEvents(
            [&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 5s))
            << "still connected after saying \"" << said << "\"";
        EXPECT_TRUE(test::WaitForEvents([&] { return endpoint.clientCount() == 0; }, 5s));
        EXPECT_EQ(socket.readAll(), QByteArray()) << "nothing is answered to half a request";
    }
}

TEST_F(Endpoint, ServesSixteenAtOnceAndClosesTheSeventeenth) {
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (size_t i = 0; i < MetricsEndpoint::kMostClients; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, endpoint.port());
    }
    ASSERT_TRUE(test::WaitForEvents([&] { return endpoint.clientCount() == idle.size(); }, 5s))
        << endpoint.clientCount() << " clients";
    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, endpoint.port());
    EXPECT_TRUE(test::WaitForEvents(
        [&] { return extra.state() == QAbstractSocket::UnconnectedState; }, 5s));
    EXPECT_EQ(endpoint.clientCount(), idle.size());
    idle.pop_back();
    ASSERT_TRUE(test::WaitForEvents([&] { return endpoint.clientCount() == idle.size(); }, 5s));
    const Response response = Exchange(endpoint.port(), "GET /metrics HTTP/1.1\r\n\r\n");
    EXPECT_EQ(response.status, 200) << "a place came free";
    for (const auto& socket : idle) {
        EXPECT_EQ(socket->state(), QAbstractSocket::ConnectedState) << "the 16 are kept";
    }
}

TEST_F(Endpoint, APortInUseIsRefusedWithWhy) {
    MetricsEndpoint second;
    std::string error;
    EXPECT_FALSE(second.listen(QHostAddress::LocalHost, endpoint.port(), &error));
    EXPECT_NE(error, "");
    EXPECT_EQ(second.port(), 0);
}

struct AddressRow {
    std::string name;
    std::string text;
    std::optional<std::pair<std::string, quint16>> wanted;
    friend void PrintTo(const AddressRow& row, std::ostream* os) { *os << row.name; }
};

class Address : public testing::TestWithParam<AddressRow> {};

TEST_P(Address, IsReadAsTheUserMeantIt) {
    const AddressRow& row = GetParam();
    std::string error;
    const auto parsed = ParseMetricsAddress(row.text, &error);
    if (!row.wanted) {
        EXPECT_FALSE(parsed) << parsed->first.toString().toStdString() << " " << parsed->second;
        EXPECT_NE(error, "");
        return;
    }
    ASSERT_TRUE(parsed) << error;
    EXPECT_EQ(parsed->first, QHostAddress(QString::fromStdString(row.wanted->first)));
    EXPECT_EQ(parsed->second, row.wanted->second);
}

const AddressRow kAddresses[] = {
    {"port_only", "9100", std::pair{"127.0.0.1", 9100}},
    {"colon_port", ":9100", std::pair{"127.0.0.1", 9100}},
    {"any_port", "0", std::pair{"127.0.0.1", 0}},
    {"highest_port", "65535", std::pair{"127.0.0.1", 65535}},
    {"all_interfaces", "0.0.0.0:9100", std::pair{"0.0.0.0", 9100}},
    {"lan_address", "192.168.1.20:80", std::pair{"192.168.1.20", 80}},
    {"ipv6_loopback", "[::1]:9100", std::pair{"::1", 9100}},
    {"ipv6_any", "[::]:9100", std::pair{"::", 9100}},
    {"empty", "", std::nullopt},
    {"colon_only", ":", std::nullopt},
    {"port_too_large", "65536", std::nullopt},
    {"six_digits", "009100", std::nullopt},
    {"letters_after", "9100x", std::nullopt},
    {"signed", "+80", std::nullopt},
    {"space_before", " 9100", std::nullopt},
    {"address_without_port", "127.0.0.1:", std::nullopt},
    {"ipv6_without_brackets", "::1:9100", std::nullopt},
    {"ipv6_without_port", "[::1]", std::nullopt},
    {"ipv6_without_colon", "[::1]9100", std::nullopt},
    {"ipv4_in_brackets", "[127.0.0.1]:80", std::nullopt},
    {"empty_brackets", "[]:80", std::nullopt},
    {"host_name", "localhost:9100", std::nullopt},
};
INSTANTIATE_TEST_SUITE_P(Rows, Address, testing::ValuesIn(kAddresses), test::RowName());

// A real Prometheus scraping the endpoint: the value it stores is the one
// served, names with quotes and backslashes come back as they were, and the
// series goes stale once the link is down and the sample is left out.
TEST(PrometheusServer, ScrapesTheReadingAndSeesItGoStale) {
    if (!test::PrometheusServer::Installed()) {
        GTEST_SKIP() << "install Debian's prometheus package (" << test::kPrometheusProgram
                     << ") to run";
    }
    const std::string meter = "bench \"1\", C:\\ \xCE\xA9";
    MetricsEndpoint endpoint;
    std::string error;
    ASSERT_TRUE(endpoint.listen(QHostAddress::LocalHost, 0, &error)) << error;
    endpoint.freshFor = [] { return std::chrono::milliseconds(1h); };
    PublishedItem item;
    item.meter = meter;
    item.function = "TEMP";
    item.unit = "\xC2\xB0"
                "C";
    item.value = 21.375;
    item.status = "ok";
    endpoint.state().reading(item, MetricsState::Clock::now());

    test::PrometheusServer prometheus;
    ASSERT_TRUE(prometheus.start(endpoint.port()));

    const QString reading = QStringLiteral("velmora_reading");
    std::optional<QJsonArray> result;
    const bool scraped = test::WaitForEvents(
        [&] {
            result = prometheus.query(reading);
            return (result && !result->isEmpty()) || !prometheus.running();
        },
        20s);
    ASSERT_TRUE(scraped && prometheus.running()) << "no velmora_reading in 20 s";
    ASSERT_EQ(result->size(), 1);
    const QJsonObject series = result->at(0).toObject();
    const QJsonObject labels = series.value(QStringLiteral("metric")).toObject();
    EXPECT_EQ(labels.value(QStringLiteral("meter")).toString().toStdString(), meter);
    EXPECT_EQ(labels.value(QStringLiteral("function")).toString().toStdString(), "TEMP");
    EXPECT_EQ(labels.value(QStringLiteral("unit")).toString().toStdString(), item.unit);
    EXPECT_EQ(series.value(QStringLiteral("value")).toArray().at(1).toString().toStdString(),
              "21.375");

    endpoint.state().linkState(meter, false);
    EXPECT_TRUE(test::WaitForEvents(
        [&] {
            result = prometheus.query(reading);
            return result && result->isEmpty();
        },
        20s))
        << "velmora_reading still there 20 s after the link went down";
    // Still scraped, so the series ended because its sample did, not because
    // the target was lost.
    std::optional<QJsonArray> link;
    EXPECT_TRUE(test::WaitForEvents(
        [&] {
            link = prometheus.query(QStringLiteral("velmora_link_up"));
            return link && link->size() == 1 &&
                   link->at(0).toObject().value(QStringLiteral("value")).toArray().at(1) ==
                       QStringLiteral("0");
        },
        20s))
        << "velmora_link_up 0 not seen";
}

} // namespace
} // namespace velmora
