// Opening and closing a port: failures with their messages and states, repeated use, properties.
#include "serial/comm.h"
#include "tests/serial/serial_test_support.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {
namespace {

class CommOpenTest : public PtyCommTest {};

// The message of the ECommsError that OpenPort raises, or "" when it succeeds.
std::string OpenError(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& error) {
        return error.message();
    }
    return "";
}

TEST(TCommDefaults, PropertiesAsConstructed) {
    TComm comm;
    EXPECT_EQ(comm.CommName(), "COM2");
    EXPECT_EQ(comm.DeviceFolder(), "/dev");
    EXPECT_EQ(comm.BaudRate(), 9600u);
    EXPECT_FALSE(comm.ParityCheck());
    EXPECT_FALSE(comm.Outx_CtsFlow());
    EXPECT_FALSE(comm.Outx_DsrFlow());
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrEnable);
    EXPECT_FALSE(comm.DsrSensitivity());
    EXPECT_TRUE(comm.TxContinueOnXoff());
    EXPECT_TRUE(comm.Outx_XonXoffFlow());
    EXPECT_TRUE(comm.Inx_XonXoffFlow());
    EXPECT_FALSE(comm.ReplaceWhenParityError());
    EXPECT_FALSE(comm.IgnoreNullChar());
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsEnable);
    EXPECT_EQ(comm.XonLimit(), 500);
    EXPECT_EQ(comm.XoffLimit(), 500);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.StopBits(), TStopBits::_1);
    EXPECT_EQ(comm.XonChar(), 17);
    EXPECT_EQ(comm.XoffChar(), 19);
    EXPECT_EQ(comm.ReplacedChar(), 0);
    EXPECT_EQ(comm.ReadIntervalTimeout(), 100u);
    EXPECT_EQ(comm.ReadTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(comm.ReadTotalTimeoutConstant(), 0u);
    EXPECT_EQ(comm.WriteTotalTimeoutMultiplier(), 0u);
    EXPECT_EQ(comm.WriteTotalTimeoutConstant(), 0u);
    EXPECT_FALSE(comm.PortOpen());
    EXPECT_TRUE(comm.SendQueueEmpty());
}

TEST(TCommDefaults, OutOfRangeEnumerationsAreIgnored) {
    TComm comm;
    comm.SetParity(static_cast<TParity>(5));
    comm.SetByteSize(static_cast<TByteSize>(4));
    comm.SetStopBits(static_cast<TStopBits>(3));
    comm.SetDtrControl(static_cast<TDtrControl>(3));
    comm.SetRtsControl(static_cast<TRtsControl>(4));
    EXPECT_EQ(comm.Parity(), TParity::None);
    EXPECT_EQ(comm.ByteSize(), TByteSize::_8);
    EXPECT_EQ(comm.StopBits(), TStopBits::_1);
    EXPECT_EQ(comm.DtrControl(), TDtrControl::DtrEnable);
    EXPECT_EQ(comm.RtsControl(), TRtsControl::RtsEnable);
    comm.SetParity(TParity::Space);
    EXPECT_EQ(comm.Parity(), TParity::Space);
}

TEST_F(CommOpenTest, OpensAndClosesManyTimes) {
    for (int round = 1; round <= 40; ++round) {
        SCOPED_TRACE(round);
        comm->OpenPort();
        ASSERT_TRUE(comm->PortOpen());
        // Each open starts a new transmit thread, which reports its empty queue once.
        ASSERT_TRUE(WaitUntil([&] { return events.empties == round; }));
        comm->ClosePort();
        ASSERT_FALSE(comm->PortOpen());
    }
    EXPECT_EQ(io.opens, 40);
    // The descriptors go on the port closer's thread.
    EXPECT_TRUE(WaitUntil([&] { return io.closes == 40; }));
    // Still a working port after all that.
    OpenAndSettle();
    ASSERT_TRUE(pty.Write("after\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.AllData() == "after\r\n"; }));
}

TEST_F(CommOpenTest, CloseWhenClosedDoesNothing) {
    comm->ClosePort();
    comm->ClosePort();
    EXPECT_FALSE(comm->PortOpen());
    EXPECT_EQ(io.opens, 0);
    OpenAndSettle();
    comm->ClosePort();
    comm->ClosePort();
    comm.reset(); // waits for the close under way
    EXPECT_EQ(io.closes, 1);
}

TEST_F(CommOpenTest, FailuresRaiseTheirMessageAndLeaveThePortClosed) {
    devices.File("plainfile", "not a port");
    devices.Link("ttyS4", "/dev/null");
    struct Row {
        const char* name;
        std::string commName;
        const char* message;
    };
    const Row rows[] = {
        {"missing_device", "COM9", "Error opening serial port"},
        {"missing_absolute_path", devices.Path() + "/nothing/here", "Error opening serial port"},
        {"a_folder", devices.Path(), "Error opening serial port"},
        {"regular_file", "plainfile", "File handle is not a comm handle "},
        {"character_device_not_a_terminal", "COM5", "Cannot setup comm buffer"},
        {"dev_null_by_path", "/dev/null", "Cannot setup comm buffer"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        comm->SetCommName(row.commName);
        EXPECT_EQ(OpenError(*comm), row.message);
        EXPECT_FALSE(comm->PortOpen());
        EXPECT_FALSE(comm->SendData("x", 1));
        EXPECT_EQ(io.opens.load(), io.closes.load()) << "a failed open must release its descriptor";
    }
    // A corrected name opens.
    comm->SetCommName("COM1");
    OpenAndSettle();
    EXPECT_TRUE(comm->PortOpen());
}

TEST_F(CommOpenTest, OpenWhileOpenKeepsThePort) {
    OpenAndSettle();
    EXPECT_EQ(OpenError(*comm), "This serial port already opened");
    EXPECT_TRUE(comm->PortOpen());
    EXPECT_EQ(io.opens, 1);
    ASSERT_TRUE(comm->SendData("Func?\r\n", 7));
    EXPECT_EQ(pty.Read(7, 10s), "Func?\r\n");
    ASSERT_TRUE(pty.Write("\"VOLT\"\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.AllData() == "\"VOLT\"\r\n"; }));
}

TEST_F(CommOpenTest, SecondComponentOnTheSamePortIsRefused) {
    OpenAndSettle();
    TComm second(nullptr, &io);
    second.SetDeviceFolder(devices.Path());
    second.SetCommName("COM1");
    EXPECT_EQ(OpenError(second), "Error opening serial port");
    EXPECT_FALSE(second.PortOpen());
    comm->ClosePort();
    EXPECT_EQ(OpenError(second), "");
    second.ClosePort();
}

TEST_F(CommOpenTest, ExclusiveAccessKeepsProgramsWithoutTheLockOut) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root ignores exclusive access (TIOCEXCL); run as an ordinary user";
    // The line watcher stuck in a slow sample, as on a USB adapter: the
    // final close waits for it.
    io.countersLatch.Hold();
    OpenAndSettle();
    ASSERT_TRUE(WaitUntil([&] { return io.countersLatch.Waiting(); }));
    // A terminal program that takes no lock is refused by the kernel itself.
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const int error = errno;
    if (other >= 0)
        ::close(other);
    EXPECT_LT(other, 0);
    EXPECT_EQ(error, EBUSY);
    // ClosePort gives the port back as it returns, also to programs that open
    // it plainly, before the final close has happened.
    comm->ClosePort();
    const int after = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(after, 0) << "exclusive flag left behind";
    if (after >= 0)
        ::close(after);
    EXPECT_EQ(io.closes, 0) << "the final close came first: this proves nothing";
    io.countersLatch.Release();
    ASSERT_TRUE(WaitUntil([&] { return io.closes == 1; }));
}

std::vector<std::string>& LoggedMessages() {
    static std::vector<std::string> messages;
    return messages;
}

TEST_F(CommOpenTest, RefusedPriorityIsLoggedOnceAndThePortWorks) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may raise thread priorities; run as an ordinary user";
    // In a fresh process, so that no earlier test has used up the one note.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            LoggedMessages().clear();
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
                LoggedMessages().push_back(text.toStdString());
            });
            bool worked = true;
            for (int round = 0; round < 2; ++round) {
                comm->OpenPort();
                worked =
                    worked && comm->SendData("Read?\r\n", 7) && pty.Read(7, 10s) == "Read?\r\n";
                comm->ClosePort();
            }
            int notes = 0;
            for (const std::string& message : LoggedMessages())
                notes += message.find("normal priority") != std::string::npos;
            std::_Exit(worked && notes == 1 ? 0 : 10 + notes);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(CommOpenTest, PortLockedByAnotherDescriptorIsRefused) {
    const int other = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(OpenError(*comm), "Error opening serial port");
    EXPECT_FALSE(comm->PortOpen());
    ::flock(other, LOCK_UN);
    EXPECT_EQ(OpenError(*comm), "");
    ::close(other);
}

TEST_F(CommOpenTest, PortLockedByAnotherProcessIsRefused) {
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const std::string path = pty.SlavePath();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls in the child of a threaded process.
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? '1' : '0';
        (void)::write(ready[1], &ok, 1);
        char done;
        (void)::read(release[0], &done, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    EXPECT_EQ(OpenError(*comm), "Error opening serial port");
    EXPECT_FALSE(comm->PortOpen());
    (void)::write(release[1], "x", 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (const int fd : {ready[0], ready[1], release[0], release[1]})
        ::close(fd);
    EXPECT_EQ(OpenError(*comm), "");
}

TEST_F(CommOpenTest, EventThatCannotBeCreatedClosesThePort) {
    io.failCreateEvent = true;
    EXPECT_EQ(OpenError(*comm), "Unable to create event");
    EXPECT_FALSE(comm->PortOpen());
    EXPECT_EQ(io.opens, 1);
    EXPECT_EQ(io.closes, 1);
    io.failCreateEvent = false;
    OpenAndSettle();
}

struct SpeedRow {
    const char* name;
    uint32_t asked;
    uint32_t driverRefuses;  // the driver says EINVAL to this speed
    uint32_t driverRoundsTo; // the driver takes this speed instead, and says nothing
    uint32_t inForce;        // 0: the speed the port had before
};

const SpeedRow kSpeedRows[] = {
    {"refused", 4800, 4800, 0, 0},
    {"zero_would_hang_up", 0, 0, 0, 0},
    // -9600 from a settings file, taken as unsigned; the driver would take anything.
    {"negative_from_a_file", 4294957696u, 0, 0, 0},
    {"rounded_by_the_driver", 250000, 0, 230400, 230400},
};

void PrintTo(const SpeedRow& row, std::ostream* out) {
    *out << row.name;
}

class CommSpeedInForce : public CommOpenTest, public ::testing::WithParamInterface<SpeedRow> {};

TEST_P(CommSpeedInForce, IsWhatTheDriverHasAndTheLineStillGoesRaw) {
    const SpeedRow& row = GetParam();
    io.refusedSpeed = row.driverRefuses;
    if (row.driverRoundsTo != 0) {
        io.substitutedSpeed = row.asked;
        io.substituteSpeed = row.driverRoundsTo;
    }
    TermAttributes before;
    ASSERT_EQ(DefaultPortIo().GetAttributes(pty.HeldSlaveFd(), &before), 0);
    comm->SetBaudRate(row.asked);
    OpenAndSettle();
    EXPECT_TRUE(comm->PortOpen());
    // The component keeps what the driver has, not what it asked for.
    TermAttributes actual;
    ASSERT_EQ(DefaultPortIo().GetAttributes(pty.HeldSlaveFd(), &actual), 0);
    EXPECT_EQ(actual.ospeed, row.inForce != 0 ? row.inForce : before.ospeed);
    EXPECT_EQ(comm->AppliedLineSettings().value().ospeed, actual.ospeed);
    EXPECT_EQ(comm->BaudRate(), row.asked);
    EXPECT_EQ(actual.lflag & (TermFlags::Canonical | TermFlags::Echo), 0u) << "raw all the same";
    // Data flows both ways unchanged.
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    EXPECT_EQ(pty.Read(7, 10s), "Read?\r\n");
    EXPECT_EQ(pty.ReadUntilQuiet(50ms), "");
}

INSTANTIATE_TEST_SUITE_P(Speeds, CommSpeedInForce, ::testing::ValuesIn(kSpeedRows),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(CommOpenTest, RefusedLineSettingsDoNotFailTheOpen) {
    io.setAttributesErrno = EINVAL;
    OpenAndSettle();
    EXPECT_TRUE(comm->PortOpen());
    EXPECT_GE(io.setAttributesCalls, 1);
    TermAttributes actual;
    ASSERT_EQ(DefaultPortIo().GetAttributes(pty.HeldSlaveFd(), &actual), 0);
    EXPECT_EQ(comm->AppliedLineSettings().value().lflag, actual.lflag) << "what the driver kept";
}

TEST_F(CommOpenTest, SettingsThatCannotBeReadBackAreNotGuessed) {
    OpenAndSettle();
    ASSERT_TRUE(comm->AppliedLineSettings().has_value());
    comm->ClosePort();
    EXPECT_FALSE(comm->AppliedLineSettings().has_value()) << "nothing in force while closed";
    // The next opening's record is written but cannot be read back: neither
    // the last opening's speed nor a zero one stands in for it.
    io.failReadBack = true;
    OpenAndSettle();
    EXPECT_TRUE(comm->PortOpen());
    EXPECT_FALSE(comm->AppliedLineSettings().has_value());
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    EXPECT_EQ(pty.Read(7, 10s), "Read?\r\n");
}

} // namespace
} // namespace velmora::test
