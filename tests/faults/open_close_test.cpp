// Open/close: the port opened and closed over and over while commands and replies are on their way.
#include "serial/comm.h"
#include "serial/port_closer.h"
#include "tests/faults/fault_test_support.h"
#include "tools/meter/meter_emulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

namespace velmora::test {
namespace {

// Handles events for `milliseconds` (possibly none) or until `done` holds.
template <typename Done>
void HandleEvents(int milliseconds, Done done) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    } while (clock.elapsed() < milliseconds && !done());
}

TEST(OpenClose, CyclesWithTrafficInFlightLeaveNoDescriptorOrThread) {
    const int64_t cycles = SoakSetting("VELMORA_SOAK_CYCLES", 100, 1000);
    MeterOptions options; // no byte timing: replies come back at once
    MeterEmulator meter(options);
    meter.Start();

    TComm comm;
    comm.SetCommName(meter.SlavePath());
    comm.SetReadIntervalTimeout(1); // many small chunks
    int64_t chunks = 0;
    int64_t bytes = 0;
    int64_t empties = 0;
    int64_t hangups = 0;
    comm.OnReceiveData = [&](TComm*, const char* buffer, uint16_t length) {
        ++chunks;
        bytes += length;
        EXPECT_EQ(buffer[length], '\0');
    };
    comm.OnSendDataEmpty = [&](TComm*) { ++empties; };
    comm.OnRequestHangup = [&](TComm*) { ++hangups; };

    // One round first, so that whatever the process sets up once is there
    // before counting.
    comm.OpenPort();
    ASSERT_TRUE(comm.SendData("Func?\r\n", 7));
    HandleEvents(10000, [&] { return chunks > 0; });
    ASSERT_GT(chunks, 0) << "the meter did not answer";
    comm.ClosePort();
    HandleEvents(20, [] { return false; });
    PortCloser::Instance().WaitForOwner(&comm);
    const ProcessFigures before = SampleProcess();

    std::mt19937 random(7);
    auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    int64_t sent = 0;
    for (int64_t cycle = 0; cycle < cycles; ++cycle) {
        comm.OpenPort();
        ASSERT_TRUE(comm.PortOpen());
        // A few queries and a long write; the meter answers the queries at once.
        for (int i = pick(1, 6); i > 0; --i) {
            static const char* const kCommands[] = {"Read?\r\n", "Func?\r\n", "Meas:RES?\r\n"};
            const std::string command = kCommands[pick(0, 2)];
            sent += comm.SendData(command.data(), static_cast<uint16_t>(command.size())) ? 1 : 0;
        }
        if (pick(0, 3) == 0) {
            // A line the meter does not know; its line end lets the meter find
            // the start of the next command, unless a close cuts it off.
            const std::string filler(static_cast<size_t>(pick(100, 4000)), 'x');
            (void)comm.SendData(filler.data(), static_cast<uint16_t>(filler.size()));
            (void)comm.SendData("\r\n", 2);
        }
        // Close at once, or while replies are arriving, or once some came.
        const int64_t chunksBefore = chunks;
        HandleEvents(pick(0, 5), [&] { return pick(0, 1) == 0 && chunks > chunksBefore; });
        comm.ClosePort();
        ASSERT_FALSE(comm.PortOpen());
        meter.ClearReceived(); // its records are no part of the figures
        if (cycle % 100 == 99) {
            std::printf("open/close: %lld cycles, %s\n", static_cast<long long>(cycle + 1),
                        Describe(SampleProcess()).c_str());
        }
    }
    HandleEvents(50, [] { return false; });     // what was posted before the closes
    PortCloser::Instance().WaitForOwner(&comm); // the last close may still be under way
    const ProcessFigures after = SampleProcess();
    std::printf("open/close: %lld cycles, %lld commands queued, %lld chunks (%lld bytes) "
                "delivered, %lld empty notices\n",
                static_cast<long long>(cycles), static_cast<long long>(sent),
                static_cast<long long>(chunks), static_cast<long long>(bytes),
                static_cast<long long>(empties));
    std::printf("open/close: before %s\nopen/close: after  %s\n", Describe(before).c_str(),
                Describe(after).c_str());

    EXPECT_EQ(after.descriptors, before.descriptors) << "a descriptor leaked";
    EXPECT_EQ(after.threads, before.threads) << "a thread outlived its port";
    EXPECT_EQ(hangups, 0) << "an orderly close was reported as a hang-up";
    EXPECT_GE(chunks, cycles / 10) << "too little traffic was in flight to mean anything";

    // The port still works after all that. A close may have cut a command
    // short at the meter: a line end first ends that fragment.
    comm.OpenPort();
    const int64_t chunksNow = chunks;
    ASSERT_TRUE(comm.SendData("\r\nFunc?\r\n", 9));
    HandleEvents(10000, [&] { return chunks > chunksNow; });
    EXPECT_GT(chunks, chunksNow);
    comm.ClosePort();
    meter.Stop();
}

} // namespace
} // namespace velmora::test

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
