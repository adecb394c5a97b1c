// Transmission: SendData, request order, the empty notice, flow control and close.
#include "serial/comm.h"
#include "serial/write_queue.h"
#include "tests/serial/serial_test_support.h"

#include <cstring>
#include <future>
#include <poll.h>

namespace velmora::test {
namespace {

class CommTransmitTest : public PtyCommTest {};

std::string Pattern(size_t length, char first) {
    std::string bytes;
    for (size_t i = 0; i < length; ++i)
        bytes += static_cast<char>(first + i % 23);
    return bytes;
}

TEST_F(CommTransmitTest, RefusesWhatCannotBeSent) {
    EXPECT_FALSE(comm->SendData("Read?\r\n", 7)) << "closed";
    OpenAndSettle();
    EXPECT_FALSE(comm->SendData("Read?\r\n", 0)) << "empty";
    EXPECT_FALSE(comm->SendData(nullptr, 5)) << "no data";
    EXPECT_TRUE(comm->SendQueueEmpty());
    comm->ClosePort();
    EXPECT_FALSE(comm->SendData("Read?\r\n", 7)) << "closed again";
    EXPECT_EQ(pty.ReadUntilQuiet(50ms), "");
}

TEST_F(CommTransmitTest, RequestsGoOutInOrderWithOneNoticeAfterTheBurst) {
    OpenAndSettle();
    EXPECT_EQ(events.empties, 1) << "one notice right after the start";
    HoldLine(); // queue the whole burst while nothing can leave
    ASSERT_TRUE(comm->SendData("syst:rem\r\n", 10));
    EXPECT_FALSE(comm->SendQueueEmpty());
    ASSERT_TRUE(comm->SendData("Func?\r\n", 7));
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    ASSERT_TRUE(pty.Write("\x11")); // XON
    EXPECT_EQ(pty.Read(24, 10s), "syst:rem\r\nFunc?\r\nRead?\r\n");
    ASSERT_TRUE(WaitUntil([&] { return events.empties == 2; }));
    EXPECT_TRUE(comm->SendQueueEmpty());
    // A later single request is a burst of its own.
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    EXPECT_EQ(pty.Read(7, 10s), "Read?\r\n");
    ASSERT_TRUE(WaitUntil([&] { return events.empties == 3; }));
}

TEST_F(CommTransmitTest, CallerMayReuseItsBufferAtOnce) {
    OpenAndSettle();
    HoldLine();
    char buffer[] = "Meas:Volt:Dc?\r\n";
    ASSERT_TRUE(comm->SendData(buffer, 15));
    std::fill(std::begin(buffer), std::end(buffer), 'X');
    ASSERT_TRUE(pty.Write("\x11"));
    EXPECT_EQ(pty.Read(15, 10s), "Meas:Volt:Dc?\r\n");
}

TEST_F(CommTransmitTest, LargestRequestArrivesWhole) {
    OpenAndSettle();
    const std::string big = Pattern(65535, 'a');
    ASSERT_TRUE(comm->SendData(big.data(), 65535));
    ASSERT_TRUE(comm->SendData("end", 3));
    EXPECT_EQ(pty.Read(65538, 30s), big + "end");
    ASSERT_TRUE(WaitUntil([&] { return events.empties == 2; }));
}

TEST_F(CommTransmitTest, CloseWhileXoffHoldsTheLineEndsPromptly) {
    OpenAndSettle();
    HoldLine();
    const std::string big = Pattern(65535, 'a');
    ASSERT_TRUE(comm->SendData(big.data(), 65535));
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    // The guard only keeps a broken close from hanging the run.
    auto closing = std::async(std::launch::async, [&] { comm->ClosePort(); });
    ASSERT_EQ(closing.wait_for(20s), std::future_status::ready) << "ClosePort hung";
    closing.get();
    EXPECT_FALSE(comm->PortOpen());
    EXPECT_TRUE(comm->SendQueueEmpty());
    DeliverPosted();
    EXPECT_EQ(events.hangups, 0) << "dropping held requests is not reported";
}

TEST_F(CommTransmitTest, InterruptedAndShortWritesContinueWhereTheyStopped) {
    OpenAndSettle();
    io.writeLimit = 3;
    io.FailWrites(EINTR, 2);
    ASSERT_TRUE(comm->SendData("Meas:FRES?\r\n", 12));
    io.FailWrites(EAGAIN, 2);
    ASSERT_TRUE(comm->SendData("Func?\r\n", 7));
    EXPECT_EQ(pty.Read(19, 10s), "Meas:FRES?\r\nFunc?\r\n");
    ASSERT_TRUE(WaitUntil([&] { return comm->SendQueueEmpty() && events.empties >= 2; }));
    EXPECT_EQ(events.hangups, 0);
}

TEST_F(CommTransmitTest, WriteTimeoutOnlySplitsTheWrite) {
    // Each write call may end short after its total timeout; the rest follows.
    comm->SetWriteTotalTimeoutConstant(10);
    OpenAndSettle();
    HoldLine();
    const int writesBefore = io.portWrites;
    const auto heldSince = std::chrono::steady_clock::now();
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    EXPECT_EQ(pty.Read(7, 100ms), "") << "held by XOFF";
    // While held, a new try each time a call's timeout passes, not a spin.
    const int writes = io.portWrites - writesBefore;
    const auto heldFor = std::chrono::steady_clock::now() - heldSince;
    EXPECT_GE(writes, 1);
    EXPECT_LE(writes, 2 + heldFor / 10ms);
    ASSERT_TRUE(pty.Write("\x11"));
    EXPECT_EQ(pty.Read(7, 10s), "Read?\r\n");
}

TEST_F(CommTransmitTest, FailedWriteRequestsHangupAndEndsTransmission) {
    OpenAndSettle();
    io.FailWrites(EIO, 1);
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    ASSERT_TRUE(WaitUntil([&] { return events.hangups == 1; }));
    // Once the transmit thread has ended, nothing more is accepted.
    ASSERT_TRUE(WaitUntil([&] { return !comm->SendData("Read?\r\n", 7); }));
    EXPECT_TRUE(comm->SendQueueEmpty());
    EXPECT_TRUE(comm->PortOpen());
    // Reopening brings transmission back.
    comm->ClosePort();
    comm->OpenPort();
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    EXPECT_EQ(pty.Read(7, 10s), "Read?\r\n");
}

TEST_F(CommTransmitTest, InvalidDescriptorEndsTransmissionSilently) {
    OpenAndSettle();
    io.FailWrites(EBADF, 1);
    ASSERT_TRUE(comm->SendData("Read?\r\n", 7));
    ASSERT_TRUE(WaitUntil([&] { return !comm->SendData("x", 1); }));
    comm->ClosePort();
    DeliverPosted();
    EXPECT_EQ(events.hangups, 0);
}

bool Readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

TEST(WriteQueue, ItsDescriptorWakesTheTransmitThreadOnlyWhileWorkIsNew) {
    SystemPortIo io;
    std::atomic<bool> empty{true};
    WriteQueue queue(io, io.CreateEvent(), empty);
    EXPECT_FALSE(Readable(queue.WakeFd())) << "nothing queued yet";
    auto block = std::make_unique<char[]>(8);
    std::memcpy(block.get(), "Read?\r\n", 8);
    ASSERT_TRUE(queue.Push(std::move(block), 7));
    EXPECT_FALSE(empty);
    EXPECT_TRUE(Readable(queue.WakeFd())) << "a request wakes the thread";
    queue.ClearWake();
    EXPECT_FALSE(Readable(queue.WakeFd())) << "once woken, quiet again";
    std::optional<WriteQueue::Request> request = queue.Take();
    ASSERT_TRUE(request);
    EXPECT_EQ(std::string(request->block.get(), request->length), "Read?\r\n");
    EXPECT_FALSE(queue.Take());
    EXPECT_TRUE(empty);
}

} // namespace
} // namespace velmora::test
