// Faults a pseudo-terminal cannot produce, injected through the kernel seam.
#include "serial/comm.h"
#include "serial/line_watch_thread.h"
#include "tests/serial/serial_test_support.h"

#include <sys/ioctl.h>
#include <thread>

namespace velmora::test {
namespace {

class CommSeamTest : public PtyCommTest {};

TEST_F(CommSeamTest, InterruptedAndEmptyReadsAreRetried) {
    OpenAndSettle();
    for (const int error : {EINTR, EAGAIN}) {
        SCOPED_TRACE(error);
        events.chunks.clear();
        io.FailReads(error, 3);
        ASSERT_TRUE(pty.Write("+1.16040760E+03\r\n"));
        ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
        EXPECT_EQ(events.chunks[0], "+1.16040760E+03\r\n");
        EXPECT_EQ(events.hangups, 0);
    }
}

TEST_F(CommSeamTest, ReadErrorRequestsHangup) {
    OpenAndSettle();
    io.FailReads(EIO, 1);
    ASSERT_TRUE(pty.Write("+1.0E+00\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.hangups == 1; }));
    EXPECT_TRUE(events.chunks.empty());
    EXPECT_TRUE(comm->PortOpen()) << "closing is left to the application";
}

TEST_F(CommSeamTest, HangupOfAnEarlierOpeningIsNotRaisedAfterAReopen) {
    OpenAndSettle();
    const int flushes = io.inputFlushes;
    io.FailReads(EIO, 1);
    ASSERT_TRUE(pty.Write("x"));
    // The receive thread asks for the hang-up and ends; nothing is delivered yet.
    for (int i = 0; i < 10000 && io.inputFlushes == flushes; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_GT(io.inputFlushes, flushes);
    comm->ClosePort();
    comm->OpenPort();
    ASSERT_TRUE(WaitUntil([&] { return events.empties >= 2; }));
    DeliverPosted();
    EXPECT_EQ(events.hangups, 0) << "the new opening was told it had gone";
    EXPECT_TRUE(comm->PortOpen());
}

TEST_F(CommSeamTest, InvalidDescriptorEndsReceptionSilently) {
    OpenAndSettle();
    const int flushes = io.inputFlushes;
    io.FailReads(EBADF, 1);
    ASSERT_TRUE(pty.Write("+1.0E+00\r\n"));
    // The ending receive thread purges its input.
    ASSERT_TRUE(WaitUntil([&] { return io.inputFlushes > flushes; }));
    ASSERT_TRUE(pty.Write("+2.0E+00\r\n"));
    comm->ClosePort();
    DeliverPosted();
    EXPECT_EQ(events.hangups, 0);
    EXPECT_TRUE(events.chunks.empty());
}

TEST_F(CommSeamTest, DriverWithoutLineCountersIsNotAskedAgain) {
    // A pseudo-terminal answers ENOTTY; that only turns the sampling off.
    comm->SetReadIntervalTimeout(300);
    OpenAndSettle();
    ASSERT_TRUE(pty.Write("+1.0E+00\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(io.countersCalls, 1);
    EXPECT_TRUE(events.errors.empty());
    EXPECT_TRUE(events.modemEvents.empty());
    EXPECT_EQ(events.hangups, 0);
}

// A failing sample is no hang-up: only the receive thread's reads may say
// that the device is gone. Reception goes on, sampling is tried again later.
TEST_F(CommSeamTest, FailingSamplesNeverEndReception) {
    for (const bool always : {false, true}) {
        SCOPED_TRACE(always ? "every sample fails" : "one sample fails");
        events = EventRecord();
        events.Attach(*comm);
        if (always)
            io.countersErrno = EIO;
        else
            io.countersFailuresLeft = 1;
        io.ScriptCounters({LineCounters{}, LineCounters{.frame = 1}});
        io.ScriptModemBits({0});
        const int calls = io.countersCalls;
        OpenAndSettle();
        ASSERT_TRUE(WaitUntil([&] { return io.countersCalls >= calls + 3; }))
            << "sampling was not tried again";
        ASSERT_TRUE(pty.Write("+1\r\n"));
        ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
        EXPECT_EQ(events.hangups, 0);
        EXPECT_EQ(events.errors, always ? std::vector<uint32_t>{} : std::vector<uint32_t>{CE_FRAME})
            << "after a failed sample the next ones still count";
        // At most one sample every 100 ms, never a spin.
        const int before = io.countersCalls;
        const auto since = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(300ms);
        const int sampled = io.countersCalls - before;
        EXPECT_LE(sampled, 2 + (std::chrono::steady_clock::now() - since) / 100ms);
        comm->ClosePort();
        io.countersErrno = 0;
    }
}

// A failing adapter is asked ever less often: 200 ms, doubling, never more
// than 5 s apart; a good sample brings back the 100 ms period.
TEST(SamplePause, BacksOffAfterFailuresAndComesBackAfterAGoodSample) {
    using std::chrono::milliseconds;
    const struct {
        int last;
        bool failed;
        int next;
    } rows[] = {
        {0, true, 200},     {100, true, 200},   {200, true, 400}, {400, true, 800},
        {3200, true, 5000}, {5000, true, 5000}, {0, false, 100},  {5000, false, 100},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(NextSamplePause(milliseconds(row.last), row.failed), milliseconds(row.next))
            << row.last << (row.failed ? " failed" : " good");
    }
}

// A sample that hangs (a USB control transfer can take seconds) holds up
// neither the read-interval cut nor ClosePort.
TEST_F(CommSeamTest, SlowSampleDelaysNeitherReadsNorClosing) {
    io.countersLatch.Hold();
    OpenAndSettle();
    ASSERT_TRUE(WaitUntil([&] { return io.countersLatch.Waiting(); }));
    ASSERT_TRUE(pty.Write("+1.16040760E+03\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], "+1.16040760E+03\r\n");
    comm->ClosePort();
    EXPECT_FALSE(comm->PortOpen());
    EXPECT_TRUE(io.countersLatch.Waiting()) << "ClosePort waited for the sample";
    io.countersLatch.Release();
    // Nothing is delivered from the watcher after ClosePort.
    const size_t seen = events.order.size();
    ASSERT_TRUE(WaitUntil([&] { return io.closes == 1; }));
    DeliverPosted();
    EXPECT_EQ(events.order.size(), seen);
}

// The final close may block for as long as the driver likes; ClosePort
// returns at once, and a reopen of the same port waits for that close.
TEST_F(CommSeamTest, CloseThatBlocksHappensOffTheCallersThread) {
    for (const int dropErrno : {0, EPERM}) {
        SCOPED_TRACE(dropErrno ? "closing wait refused" : "closing wait dropped");
        io.dropClosingWaitErrno = dropErrno;
        OpenAndSettle();
        ASSERT_TRUE(pty.Write("\x13")); // XOFF: the line is held
        io.portCloseLatch.Hold();
        const int closes = io.closes;
        comm->ClosePort();
        EXPECT_FALSE(comm->PortOpen());
        ASSERT_TRUE(WaitUntil([&] { return io.portCloseLatch.Waiting(); }));
        EXPECT_EQ(io.closes, closes) << "the close is still under way";
        // The same device while its close is pending: busy, after a short wait.
        try {
            comm->OpenPort();
            ADD_FAILURE() << "opened while the old close was pending";
        } catch (const ECommsError& error) {
            EXPECT_EQ(error.message(), "Error opening serial port");
            EXPECT_EQ(error.systemError(), EBUSY);
        }
        ASSERT_TRUE(pty.Write("\x11")); // XON again for the next round
        // The close ends while a reopen waits for it: the reopen goes ahead.
        std::thread release([&] {
            std::this_thread::sleep_for(100ms);
            io.portCloseLatch.Release();
        });
        EXPECT_NO_THROW(comm->OpenPort());
        release.join();
        EXPECT_EQ(io.closes, closes + 1) << "the old close came first";
        EXPECT_TRUE(io.closingWaitDroppedBeforeClose);
        EXPECT_TRUE(comm->PortOpen());
        comm->ClosePort();
        ASSERT_TRUE(WaitUntil([&] { return io.closes == closes + 2; }));
        io.closingWaitDroppedBeforeClose = false; // each round proves it again
    }
}

struct LineEventRow {
    const char* name;
    LineCounters change; // added to the baseline in the second sample
    uint32_t error;      // expected OnReceiveError mask, 0 for none
    uint32_t modem;      // expected OnModemStateChange value, 0 for none
};

TEST_F(CommSeamTest, LineCountersBecomeErrorAndModemEvents) {
    const LineEventRow rows[] = {
        {"overrun", {.overrun = 1}, CE_OVERRUN, 0},
        {"buffer_overrun", {.bufOverrun = 2}, CE_RXOVER, 0},
        {"parity", {.parity = 1}, CE_RXPARITY, 0},
        {"framing", {.frame = 3}, CE_FRAME, 0},
        {"break", {.brk = 1}, CE_BREAK, 0},
        {"framing_and_break", {.frame = 1, .brk = 1}, CE_FRAME | CE_BREAK, 0},
        {"carrier_detect", {.dcd = 1}, 0, 8},
        {"ring", {.rng = 1}, 0, 4},
        {"carrier_and_ring", {.rng = 1, .dcd = 2}, 0, 12},
        {"parity_and_carrier", {.dcd = 1, .parity = 1}, CE_RXPARITY, 8},
        {"cts_alone_is_no_event", {.cts = 1}, 0, 0},
    };
    for (const LineEventRow& row : rows) {
        SCOPED_TRACE(row.name);
        events = EventRecord();
        events.Attach(*comm);
        LineCounters base{.cts = 5,
                          .dsr = 6,
                          .rng = 7,
                          .dcd = 8,
                          .frame = 9,
                          .overrun = 10,
                          .parity = 11,
                          .brk = 12,
                          .bufOverrun = 13};
        LineCounters changed = base;
        changed.cts += row.change.cts;
        changed.rng += row.change.rng;
        changed.dcd += row.change.dcd;
        changed.frame += row.change.frame;
        changed.overrun += row.change.overrun;
        changed.parity += row.change.parity;
        changed.brk += row.change.brk;
        changed.bufOverrun += row.change.bufOverrun;
        // The first sample is the baseline; the change shows in the second
        // and then stays, so it is reported exactly once.
        io.ScriptCounters({base, changed});
        io.ScriptModemBits({0});
        OpenAndSettle();
        // Data after the samples orders the check: events come before it.
        const auto samples = io.countersCalls.load();
        ASSERT_TRUE(WaitUntil([&] { return io.countersCalls >= samples + 3; }));
        ASSERT_TRUE(pty.Write("+1\r\n"));
        ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
        comm->ClosePort();
        DeliverPosted();
        EXPECT_EQ(events.errors,
                  row.error ? std::vector<uint32_t>{row.error} : std::vector<uint32_t>{});
        EXPECT_EQ(events.modemEvents,
                  row.modem ? std::vector<uint32_t>{row.modem} : std::vector<uint32_t>{});
        EXPECT_EQ(events.hangups, 0);
        EXPECT_EQ(events.order.back(), "data") << "reception goes on after a line event";
    }
}

TEST_F(CommSeamTest, ModemLinesWithoutCountersStillGiveEvents) {
    io.countersErrno = ENOTTY;
    // Carrier rises, ring rises, both fall, then carrier and ring together.
    io.ScriptModemBits({0, TIOCM_CD, TIOCM_CD | TIOCM_RI, 0, TIOCM_CD | TIOCM_RI});
    OpenAndSettle();
    ASSERT_TRUE(WaitUntil([&] { return events.modemEvents.size() == 4; }));
    EXPECT_EQ(events.modemEvents, (std::vector<uint32_t>{8, 4, 8, 12}));
    EXPECT_TRUE(events.errors.empty());
}

} // namespace
} // namespace velmora::test
