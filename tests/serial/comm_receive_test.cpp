// Reception: how the byte stream is cut into chunks and delivered on the main thread.
#include "serial/comm.h"
#include "tests/serial/serial_test_support.h"

#include <thread>

namespace velmora::test {
namespace {

class CommReceiveTest : public PtyCommTest {};

std::string Pattern(size_t length) {
    std::string bytes;
    for (size_t i = 0; i < length; ++i)
        bytes += static_cast<char>('A' + i % 26);
    return bytes;
}

TEST_F(CommReceiveTest, ReplyInOneBurstIsOneChunkWithAZeroAfterIt) {
    OpenAndSettle();
    const std::string reply = "+1.16040760E+03\r\n";
    ASSERT_EQ(reply.size(), 17u);
    ASSERT_TRUE(pty.Write(reply));
    ASSERT_TRUE(WaitUntil([&] { return !events.chunks.empty(); }));
    // Another reply afterwards proves nothing more belonged to the first.
    ASSERT_TRUE(pty.Write("+2.0E+00\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 2; }));
    EXPECT_EQ(events.chunks[0], reply);
    EXPECT_TRUE(events.zeroAfterChunk[0]);
    EXPECT_EQ(events.chunks[1], "+2.0E+00\r\n");
}

TEST_F(CommReceiveTest, LongBurstIsCutAtTheBufferSize) {
    OpenAndSettle();
    const std::string burst = Pattern(3000);
    ASSERT_TRUE(pty.Write(burst));
    ASSERT_TRUE(WaitUntil([&] { return events.AllData().size() == 3000; }));
    ASSERT_EQ(events.chunks.size(), 2u);
    EXPECT_EQ(events.chunks[0].size(), 2048u);
    EXPECT_EQ(events.chunks[1].size(), 952u);
    EXPECT_EQ(events.AllData(), burst);
    EXPECT_TRUE(events.zeroAfterChunk[0]);
    EXPECT_TRUE(events.zeroAfterChunk[1]);
}

// Two replies written `gap` apart, with a 26 ms interval. A loaded machine
// can stretch the gap, so a round only counts when the measured gap stayed
// well inside (or outside) the interval; a few rounds are tried.
int ChunksForGap(PseudoTerminal& pty, EventRecord& events, std::chrono::milliseconds gap,
                 bool& measured) {
    using Clock = std::chrono::steady_clock;
    for (int round = 0; round < 5; ++round) {
        events.chunks.clear();
        const auto start = Clock::now();
        EXPECT_TRUE(pty.Write("+1.0E+00\r\n"));
        const auto firstWritten = Clock::now();
        std::this_thread::sleep_until(start + gap);
        EXPECT_TRUE(pty.Write("+2.0E+00\r\n"));
        const auto actualGap = Clock::now() - firstWritten;
        EXPECT_TRUE(WaitUntil([&] { return events.AllData().size() == 20; }));
        const bool usable = gap < 26ms ? actualGap < 20ms : actualGap >= gap;
        if (usable) {
            measured = true;
            return static_cast<int>(events.chunks.size());
        }
    }
    measured = false;
    return 0;
}

TEST_F(CommReceiveTest, RepliesCloserThanTheIntervalShareAChunk) {
    OpenAndSettle();
    bool measured = false;
    const int chunks = ChunksForGap(pty, events, 10ms, measured);
    if (!measured)
        GTEST_SKIP() << "machine too busy to keep a 10 ms gap in five tries";
    EXPECT_EQ(chunks, 1);
}

TEST_F(CommReceiveTest, RepliesFurtherApartThanTheIntervalAreSeparateChunks) {
    OpenAndSettle();
    bool measured = false;
    const int chunks = ChunksForGap(pty, events, 50ms, measured);
    ASSERT_TRUE(measured);
    EXPECT_EQ(chunks, 2);
    EXPECT_EQ(events.chunks[0], "+1.0E+00\r\n");
}

TEST_F(CommReceiveTest, DataReadJustBeforeCloseIsDeliveredAfterIt) {
    OpenAndSettle();
    const std::string full = Pattern(2048);
    ASSERT_TRUE(pty.Write(full));
    // A full buffer is posted at once, before the receive thread waits again.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (io.bytesReadAtReceiveWait < 2048 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(io.bytesReadAtReceiveWait, 2048u);
    EXPECT_TRUE(events.chunks.empty());
    comm->ClosePort();
    DeliverPosted();
    ASSERT_EQ(events.chunks.size(), 1u);
    EXPECT_EQ(events.chunks[0], full);
    EXPECT_EQ(events.hangups, 0);
}

TEST_F(CommReceiveTest, EndingAtLineFeedsDeliversEachReplyWithoutWaitingForSilence) {
    // A read interval far longer than the test: only the line feed can end a chunk.
    comm->SetReadIntervalTimeout(100000);
    comm->SetEndReadAtLineFeed(true);
    OpenAndSettle();
    ASSERT_TRUE(pty.Write("+1.16040760E+03\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], "+1.16040760E+03\r\n");

    // A reply split on the line is still one chunk, ended by its line feed.
    ASSERT_TRUE(pty.Write("+1.16"));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (io.bytesRead < 22 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    DeliverPosted();
    EXPECT_EQ(events.chunks.size(), 1u) << "no line feed yet, no chunk";
    ASSERT_TRUE(pty.Write("040760E+03\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 2; }));
    EXPECT_EQ(events.chunks[1], "+1.16040760E+03\r\n");

    // Switched off again, the read interval alone decides.
    comm->SetEndReadAtLineFeed(false);
    ASSERT_TRUE(pty.Write("\"VOLT\"\r\n"));
    while (io.bytesRead < 42 && std::chrono::steady_clock::now() < deadline + 10s)
        std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(50ms);
    DeliverPosted();
    EXPECT_EQ(events.chunks.size(), 2u);
    comm->ClosePort();
}

TEST_F(CommReceiveTest, CloseDropsAPartialChunkWithoutReport) {
    comm->SetReadIntervalTimeout(100000);
    OpenAndSettle();
    ASSERT_TRUE(pty.Write("+1.16"));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (io.bytesRead < 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(io.bytesRead, 5u);
    comm->ClosePort();
    DeliverPosted();
    EXPECT_TRUE(events.chunks.empty());
    EXPECT_EQ(events.hangups, 0);
}

TEST_F(CommReceiveTest, OtherSideClosingRequestsAHangupAfterTheDataItSent) {
    comm->SetReadIntervalTimeout(100000);
    OpenAndSettle();
    ASSERT_TRUE(pty.Write("last words"));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (io.bytesRead < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    pty.Close();
    ASSERT_TRUE(WaitUntil([&] { return events.hangups == 1; }));
    EXPECT_EQ(events.AllData(), "last words");
    EXPECT_EQ(events.order.back(), "hangup");
    // The component leaves closing to the application, which can do so.
    EXPECT_TRUE(comm->PortOpen());
    comm->ClosePort();
    DeliverPosted();
    EXPECT_EQ(events.hangups, 1);
}

TEST_F(CommReceiveTest, NullBytesAreDroppedOnlyWhenAsked) {
    OpenAndSettle();
    const std::string withNulls("A\0B\0\0C\r\n", 8);
    ASSERT_TRUE(pty.Write(withNulls));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], withNulls);

    comm->SetIgnoreNullChar(true);
    ASSERT_TRUE(pty.Write(withNulls));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 2; }));
    EXPECT_EQ(events.chunks[1], "ABC\r\n");
}

TEST_F(CommReceiveTest, HandlerExceptionReachesTheApplicationAndReceptionGoesOn) {
    OpenAndSettle();
    CaughtExceptions().clear();
    int calls = 0;
    comm->OnReceiveData = [&](TComm*, const char* buffer, uint16_t length) {
        ++calls;
        if (calls == 1)
            throw ECommsError("handler failed");
        events.chunks.emplace_back(buffer, length);
    };
    ASSERT_TRUE(pty.Write("first\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return CaughtExceptions().size() == 1; }));
    EXPECT_EQ(CaughtExceptions()[0], "handler failed");
    ASSERT_TRUE(pty.Write("second\r\n"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], "second\r\n");
    // Without a handler the chunks are simply released.
    comm->OnReceiveData = nullptr;
    ASSERT_TRUE(pty.Write("third\r\n"));
    ASSERT_TRUE(comm->SendData("ping", 4));
    EXPECT_EQ(pty.Read(4, 10s), "ping");
}

struct TotalTimeoutRow {
    const char* name;
    uint32_t interval;
    uint32_t multiplier;
    uint32_t constant;
};

TEST_F(CommReceiveTest, TotalTimeoutEndsAReadWithWhatHasArrived) {
    // No interval limit: only the total timeout ends the read, with every
    // byte that came before it. An interval of MAXDWORD returns on the first
    // byte only together with a MAXDWORD multiplier.
    const TotalTimeoutRow rows[] = {
        {"no_interval", 0, 0, 1500},
        {"interval_maxdword_multiplier_zero", MAXDWORD, 0, 1500},
    };
    for (const TotalTimeoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        comm->SetReadIntervalTimeout(row.interval);
        comm->SetReadTotalTimeoutMultiplier(row.multiplier);
        comm->SetReadTotalTimeoutConstant(row.constant);
        events = EventRecord{};
        OpenAndSettle();
        ASSERT_TRUE(pty.Write("+1.0"));
        std::this_thread::sleep_for(30ms);
        ASSERT_TRUE(pty.Write("E+00"));
        ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
        EXPECT_EQ(events.chunks[0], "+1.0E+00");
        comm->ClosePort();
    }
}

TEST_F(CommReceiveTest, ReadThatEndsEmptyStopsReceptionSilently) {
    const TotalTimeoutRow rows[] = {
        {"total_constant_expires", 0, 0, 30},
        {"total_multiplier_expires", 0, 1, 0}, // 1 ms x 2048 bytes
        {"return_at_once", MAXDWORD, 0, 0},
        {"any_byte_or_constant", MAXDWORD, MAXDWORD, 20},
    };
    for (const TotalTimeoutRow& row : rows) {
        SCOPED_TRACE(row.name);
        comm->SetReadIntervalTimeout(row.interval);
        comm->SetReadTotalTimeoutMultiplier(row.multiplier);
        comm->SetReadTotalTimeoutConstant(row.constant);
        const int flushesBefore = io.inputFlushes;
        comm->OpenPort();
        // The receive thread purges reception as it ends.
        ASSERT_TRUE(WaitUntil([&] { return io.inputFlushes > flushesBefore; }));
        ASSERT_TRUE(pty.Write("late\r\n"));
        ASSERT_TRUE(comm->SendData("still sending", 13)); // the transmit side lives on
        EXPECT_EQ(pty.Read(13, 10s), "still sending");
        comm->ClosePort();
        DeliverPosted();
        EXPECT_TRUE(events.chunks.empty());
        EXPECT_EQ(events.hangups, 0);
        pty.ReadUntilQuiet(20ms);
    }
}

TEST_F(CommReceiveTest, AnyByteModeReturnsAsSoonAsDataIsThere) {
    comm->SetReadIntervalTimeout(MAXDWORD);
    comm->SetReadTotalTimeoutMultiplier(MAXDWORD);
    comm->SetReadTotalTimeoutConstant(60000);
    OpenAndSettle();
    ASSERT_TRUE(pty.Write("X"));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], "X");
}

} // namespace
} // namespace velmora::test
