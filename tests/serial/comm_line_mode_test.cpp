// Raw mode proven on a port that starts cooked, and the modem-line requests for every control
// value.
#include "serial/comm.h"
#include "tests/serial/serial_test_support.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace velmora::test {
namespace {

// The port's settings through glibc's own record, not the component's.
termios PortTermios(const PseudoTerminal& pty) {
    termios t{};
    EXPECT_EQ(::tcgetattr(pty.HeldSlaveFd(), &t), 0);
    return t;
}

using CommLineModeTest = PtyCommTest;

TEST_F(CommLineModeTest, FixtureStartsCookedLikeANewTerminal) {
    // Without this the tests below would prove nothing.
    const termios t = PortTermios(pty);
    EXPECT_NE(t.c_lflag & ICANON, 0u);
    EXPECT_NE(t.c_lflag & ECHO, 0u);
    EXPECT_NE(t.c_iflag & ICRNL, 0u);
    EXPECT_NE(t.c_oflag & OPOST, 0u);
    EXPECT_NE(t.c_oflag & ONLCR, 0u);
}

TEST_F(CommLineModeTest, OpenMakesTheLineRawWithXonXoffAt9600) {
    comm->SetBaudRate(9600);
    OpenAndSettle();
    const termios t = PortTermios(pty);
    const struct {
        const char* name;
        tcflag_t flags;
        tcflag_t mask;
    } cleared[] = {
        {"ICANON", t.c_lflag, ICANON},   {"ECHO", t.c_lflag, ECHO},
        {"ECHONL", t.c_lflag, ECHONL},   {"ISIG", t.c_lflag, ISIG},
        {"IEXTEN", t.c_lflag, IEXTEN},   {"OPOST", t.c_oflag, OPOST},
        {"ICRNL", t.c_iflag, ICRNL},     {"INLCR", t.c_iflag, INLCR},
        {"IGNCR", t.c_iflag, IGNCR},     {"ISTRIP", t.c_iflag, ISTRIP},
        {"IXANY", t.c_iflag, IXANY},     {"PARMRK", t.c_iflag, PARMRK},
        {"BRKINT", t.c_iflag, BRKINT},   {"INPCK", t.c_iflag, INPCK},
        {"PARENB", t.c_cflag, PARENB},   {"CSTOPB", t.c_cflag, CSTOPB},
        {"CRTSCTS", t.c_cflag, CRTSCTS},
    };
    for (const auto& flag : cleared) {
        EXPECT_EQ(flag.flags & flag.mask, 0u) << flag.name << " must be off";
    }
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), tcflag_t{IXON | IXOFF});
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
    EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), tcflag_t{CREAD | CLOCAL});
    // Any rate goes as a free-form speed, so glibc's speed code cannot tell it.
    TermAttributes kernel;
    ASSERT_EQ(DefaultPortIo().GetAttributes(pty.HeldSlaveFd(), &kernel), 0);
    EXPECT_EQ(kernel.ospeed, 9600u);
    EXPECT_EQ(kernel.ispeed, 9600u);
    EXPECT_EQ(t.c_cc[VSTART], 17);
    EXPECT_EQ(t.c_cc[VSTOP], 19);
}

TEST_F(CommLineModeTest, BytesCrossUnchangedInBothDirections) {
    OpenAndSettle();
    // Line ends, the terminal's special characters and 8-bit bytes; XON and
    // XOFF are the only bytes the line may take for itself.
    const std::string kinds[] = {
        "Read?\r\n",        "+1.16040760E+03\r\n",
        "\n\r\r\n",         std::string("\x03\x04\x08\x0f\x12\x15\x16\x17\x1a\x1c\x7f", 11),
        "\xb5\xe4\xff\x80",
    };
    for (const std::string& bytes : kinds) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        // Program to meter.
        ASSERT_TRUE(comm->SendData(bytes.data(), static_cast<uint16_t>(bytes.size())));
        EXPECT_EQ(pty.Read(bytes.size(), 10s), bytes);
        EXPECT_EQ(pty.ReadUntilQuiet(50ms), "") << "more bytes than were sent";
        // Meter to program; nothing may be echoed back to the meter.
        const size_t before = events.AllData().size();
        ASSERT_TRUE(pty.Write(bytes));
        ASSERT_TRUE(WaitUntil([&] { return events.AllData().size() >= before + bytes.size(); }));
        DeliverPosted();
        EXPECT_EQ(events.AllData().substr(before), bytes);
        EXPECT_EQ(pty.ReadUntilQuiet(50ms), "") << "echoed to the meter";
    }
}

struct ModemRow {
    const char* name;
    TDtrControl dtr;
    TRtsControl rts;
    std::vector<FaultyIo::ModemRequest> requests; // in order, as the component makes them
    bool hardwareFlow;
    friend void PrintTo(const ModemRow& row, std::ostream* os) { *os << row.name; }
};

class CommModemLines : public PtyCommTest, public ::testing::WithParamInterface<ModemRow> {};

TEST_P(CommModemLines, RequestsFollowTheControlValues) {
    const ModemRow& row = GetParam();
    comm->SetDtrControl(row.dtr);
    comm->SetRtsControl(row.rts);
    OpenAndSettle();
    EXPECT_EQ(io.ModemRequests(), row.requests);
    const termios t = PortTermios(pty);
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, row.hardwareFlow);
    EXPECT_EQ((io.LastWrittenSettings().cflag & CRTSCTS) != 0, row.hardwareFlow)
        << "the record written, before the driver's say";
}

const bool kRaise = true;
const bool kDrop = false;

INSTANTIATE_TEST_SUITE_P(Controls, CommModemLines,
                         ::testing::Values(ModemRow{"both_raised",
                                                    TDtrControl::DtrEnable,
                                                    TRtsControl::RtsEnable,
                                                    {{kRaise, TIOCM_DTR}, {kRaise, TIOCM_RTS}},
                                                    false},
                                           ModemRow{"dtr_dropped",
                                                    TDtrControl::DtrDisable,
                                                    TRtsControl::RtsEnable,
                                                    {{kDrop, TIOCM_DTR}, {kRaise, TIOCM_RTS}},
                                                    false},
                                           ModemRow{"rts_dropped",
                                                    TDtrControl::DtrEnable,
                                                    TRtsControl::RtsDisable,
                                                    {{kRaise, TIOCM_DTR}, {kDrop, TIOCM_RTS}},
                                                    false},
                                           ModemRow{"dtr_handshake_left_alone",
                                                    TDtrControl::DtrHandshake,
                                                    TRtsControl::RtsEnable,
                                                    {{kRaise, TIOCM_RTS}},
                                                    false},
                                           ModemRow{"rts_handshake_is_hardware_flow",
                                                    TDtrControl::DtrDisable,
                                                    TRtsControl::RtsHandshake,
                                                    {{kDrop, TIOCM_DTR}},
                                                    true},
                                           ModemRow{"rts_while_sending_left_alone",
                                                    TDtrControl::DtrEnable,
                                                    TRtsControl::RtsTransmissionAvailable,
                                                    {{kRaise, TIOCM_DTR}},
                                                    false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CommLineModeTest, ChangedLineControlIsRequestedAgainWhileOpen) {
    OpenAndSettle();
    const size_t before = io.ModemRequests().size();
    comm->SetDtrControl(TDtrControl::DtrDisable);
    const auto requests = io.ModemRequests();
    ASSERT_EQ(requests.size(), before + 2);
    EXPECT_EQ(requests[before], (FaultyIo::ModemRequest{kDrop, TIOCM_DTR}));
    EXPECT_EQ(requests[before + 1], (FaultyIo::ModemRequest{kRaise, TIOCM_RTS}));
}

// The queue flushed is the one asked for: the meter's unread reply goes with
// the input, never with the output.
TEST_F(CommLineModeTest, FlushDropsTheQueueAskedFor) {
    const struct {
        FlushQueue queue;
        bool replyDropped;
    } rows[] = {{FlushQueue::Input, true}, {FlushQueue::Output, false}, {FlushQueue::Both, true}};
    const int fd = pty.HeldSlaveFd();
    TermAttributes raw;
    ASSERT_EQ(DefaultPortIo().GetAttributes(fd, &raw), 0);
    raw.lflag &= ~(TermFlags::Canonical | TermFlags::Echo);
    ASSERT_EQ(DefaultPortIo().SetAttributes(fd, &raw), 0);
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.queue));
        ASSERT_TRUE(pty.Write("+1.0E+00\r\n"));
        pollfd waiting{fd, POLLIN, 0};
        ASSERT_EQ(::poll(&waiting, 1, 5000), 1) << "the reply never arrived";
        ASSERT_EQ(DefaultPortIo().Flush(fd, row.queue), 0);
        waiting.revents = 0;
        EXPECT_EQ(::poll(&waiting, 1, 0) == 1, !row.replyDropped);
        tcflush(fd, TCIFLUSH); // empty for the next row
    }
}

} // namespace
} // namespace velmora::test
