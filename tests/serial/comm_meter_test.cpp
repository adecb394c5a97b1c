// The component against the simulated meter: a reading's round trip at line speed, and recovery
// after a hang-up.
#include "serial/comm.h"
#include "tests/serial/serial_test_support.h"
#include "tools/meter/meter_emulator.h"

#include <cstring>
#include <regex>

namespace velmora::test {
namespace {

TEST(CommWithMeter, ByteTimedReplyArrivesAsOneChunk) {
    DeviceFolder devices;
    MeterOptions options;
    options.baud = 9600; // about 1.04 ms a byte, well inside the 26 ms interval
    options.linkPath = devices.Path() + "/ttyS0";
    options.model.overloadChance = 0;
    MeterEmulator meter(options);
    meter.Start();

    TComm comm;
    comm.SetDeviceFolder(devices.Path());
    comm.SetCommName("COM1");
    comm.SetReadIntervalTimeout(26);
    EventRecord events;
    events.Attach(comm);
    comm.OpenPort();
    for (const char* command : {"syst:rem\r\n", "Func?\r\n", "Meas:RES?\r\n", "Read?\r\n"}) {
        SCOPED_TRACE(command);
        const size_t before = events.chunks.size();
        ASSERT_TRUE(comm.SendData(command, static_cast<uint16_t>(std::strlen(command))));
        if (std::string(command) == "syst:rem\r\n") {
            ASSERT_TRUE(meter.WaitForReceived("syst:rem\r\n", 10s));
            continue; // no answer
        }
        ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == before + 1; }));
    }
    ASSERT_EQ(events.chunks.size(), 3u);
    EXPECT_EQ(events.chunks[0], "\"VOLT\"\r\n");
    const std::regex reading(R"([+-][0-9]\.[0-9]{8}E[+-][0-9]{2}\r\n)");
    EXPECT_TRUE(std::regex_match(events.chunks[1], reading)) << events.chunks[1];
    EXPECT_TRUE(std::regex_match(events.chunks[2], reading)) << events.chunks[2];
    EXPECT_EQ(meter.Received(), "syst:rem\r\nFunc?\r\nMeas:RES?\r\nRead?\r\n");
    comm.ClosePort();
}

TEST(CommWithMeter, HangupHandlerReopensThePort) {
    DeviceFolder devices;
    MeterOptions options;
    options.linkPath = devices.Path() + "/ttyS1";
    MeterEmulator meter(options);
    meter.Start();

    TComm comm;
    comm.SetDeviceFolder(devices.Path());
    comm.SetCommName("com2");
    comm.SetReadIntervalTimeout(26);
    EventRecord events;
    events.Attach(comm);
    int reopened = 0;
    comm.OnRequestHangup = [&](TComm* sender) {
        sender->ClosePort();
        // The meter offers its new port once its hang-up count moves.
        if (WaitUntil([&] { return meter.Hangups() == 1; })) {
            sender->OpenPort();
            ++reopened;
        }
    };
    comm.OpenPort();
    meter.Inject(ParseScript("hangup reopen"));
    ASSERT_TRUE(WaitUntil([&] { return reopened == 1; }));
    ASSERT_TRUE(comm.SendData("Func?\r\n", 7));
    ASSERT_TRUE(WaitUntil([&] { return events.chunks.size() == 1; }));
    EXPECT_EQ(events.chunks[0], "\"VOLT\"\r\n");
    comm.ClosePort();
}

} // namespace
} // namespace velmora::test
