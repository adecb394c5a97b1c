// The raw socket transport on the loopback: line framing however TCP cuts the bytes, and the
// reasons it gives when no line can be had.
#include "transports/socket_transport.h"
#include "transports/transport_error.h"

#include "tools/meter/tcp_listener.h"

#include "tests/support/event_wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    return test::WaitForEvents(done, timeout);
}

// A transport connected to a listener of the test's own, which plays the meter.
struct Loopback {
    TcpListener server{0};
    SocketTransport socket{"127.0.0.1", server.Port()};
    std::vector<std::string> pieces;
    int lost = 0;

    Loopback() {
        socket.onReceive = [this](const char* bytes, size_t length) {
            EXPECT_EQ(bytes[length], '\0') << "handed over zero-terminated, as serial chunks are";
            pieces.emplace_back(bytes, length);
        };
        socket.onLost = [this] { ++lost; };
        socket.open();
        EXPECT_TRUE(WaitUntil([&] {
            server.Accept();
            return server.Connected();
        }));
    }
};

struct FramingRow {
    const char* name;
    std::vector<std::string> writes; // each one write of the meter's, 30 ms apart
    std::vector<std::string> pieces; // what the engine is handed
};

const std::string kLong(3000, 'x');

const FramingRow kFraming[] = {
    {"whole_line", {"+1.00000000E+00\n"}, {"+1.00000000E+00\n"}},
    {"cr_lf", {"+1.00000000E+00\r\n"}, {"+1.00000000E+00\r\n"}},
    {"split_in_three", {"+1.0000", "0000E", "+00\n"}, {"+1.00000000E+00\n"}},
    {"two_joined", {"+1.0E+00\n+2.0E+00\n"}, {"+1.0E+00\n", "+2.0E+00\n"}},
    {"joined_and_split", {"+1.0E+00\n+2.0", "E+00\n"}, {"+1.0E+00\n", "+2.0E+00\n"}},
    {"no_line_end_yet", {"+1.0E+00"}, {}},
    {"longer_than_a_piece", {kLong + "\n"}, {kLong.substr(0, 2048), kLong.substr(2048) + "\n"}},
};

class SocketFraming : public ::testing::TestWithParam<FramingRow> {};

TEST_P(SocketFraming, HandsOverOneLineAtATime) {
    const FramingRow& row = GetParam();
    Loopback line;
    for (const std::string& write : row.writes) {
        ASSERT_TRUE(line.server.Write(write));
        std::this_thread::sleep_for(30ms);
        QCoreApplication::processEvents();
    }
    WaitUntil([&] { return line.pieces.size() >= row.pieces.size(); }, 2s);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(line.pieces, row.pieces);
    EXPECT_EQ(line.lost, 0);
}

INSTANTIATE_TEST_SUITE_P(Table, SocketFraming, ::testing::ValuesIn(kFraming),
                         [](const ::testing::TestParamInfo<FramingRow>& row) {
                             return std::string(row.param.name);
                         });

TEST(SocketTransport, SendsEveryByteAndNoticesTheMeterClosing) {
    Loopback line;
    ASSERT_TRUE(line.socket.send("Read?\n"));
    char buffer[16] = {};
    ASSERT_TRUE(WaitUntil([&] {
        return ::recv(line.server.ConnectionFd(), buffer, sizeof buffer - 1, MSG_PEEK) == 6;
    }));
    EXPECT_STREQ(buffer, "Read?\n");
    line.server.DropConnection();
    ASSERT_TRUE(WaitUntil([&] { return line.lost == 1; }));
    line.socket.close();
    EXPECT_FALSE(line.socket.isOpen());
    EXPECT_FALSE(line.socket.send("Read?\n")) << "nothing to send on";
}

// A port nothing listens on: taken from a listener that is then closed.
uint16_t FreePort() {
    TcpListener listener(0);
    return listener.Port();
}

TransportError::Reason OpenFails(SocketTransport& socket, std::string* what) {
    try {
        socket.open();
    } catch (const TransportError& error) {
        *what = error.what();
        return error.reason();
    }
    ADD_FAILURE() << "opened";
    return TransportError::Reason::Other;
}

TEST(SocketTransport, SaysWhyNoLineCanBeHad) {
    std::string what;
    SocketTransport refused("127.0.0.1", FreePort());
    EXPECT_EQ(OpenFails(refused, &what), TransportError::Reason::Refused);
    EXPECT_NE(what.find("connection refused"), std::string::npos) << what;
    EXPECT_TRUE(refused.retryAfterOpenError(TransportError(TransportError::Reason::Refused, "")))
        << "a meter being switched on is waited for";

    // The resolver seam: no name is looked up outside this test.
    SocketTransport unknown("dmm.invalid", 5025);
    unknown.setResolver([](const std::string& host, uint16_t, std::string* why) {
        EXPECT_EQ(host, "dmm.invalid");
        *why = "Name or service not known";
        return std::vector<sockaddr_storage>{};
    });
    EXPECT_EQ(OpenFails(unknown, &what), TransportError::Reason::UnknownHost);
    EXPECT_EQ(what, "unknown host dmm.invalid (Name or service not known)");
    EXPECT_FALSE(
        unknown.retryAfterOpenError(TransportError(TransportError::Reason::UnknownHost, "")));

    // A listener whose queue is full lets the handshake go unanswered.
    const int full = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(full, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(full, 0), 0);
    socklen_t length = sizeof address;
    getsockname(full, reinterpret_cast<sockaddr*>(&address), &length);
    std::vector<int> fillers;
    for (int i = 0; i < 4; ++i) { // take up the queue; later handshakes wait
        const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(50ms);
    SocketTransport silent("127.0.0.1", ntohs(address.sin_port));
    silent.setConnectTimeout(300ms);
    EXPECT_EQ(OpenFails(silent, &what), TransportError::Reason::TimedOut);
    EXPECT_NE(what.find("no answer within 300 ms"), std::string::npos) << what;
    for (const int fd : fillers) {
        ::close(fd);
    }
    ::close(full);
}

} // namespace
} // namespace velmora

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
