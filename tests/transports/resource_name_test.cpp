// Resource names from a table: every form, letter case, hostile names, and the serial port
// names (device paths, by-id and by-path names with colons) that must stay serial ports.
#include "transports/resource_name.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct NameRow {
    const char* text;
    ResourceKind kind;
    const char* serialPort;
    const char* host;
    int port;
    int gpib;
    bool problem;
};

constexpr ResourceKind kSerial = ResourceKind::Serial;
constexpr ResourceKind kSocket = ResourceKind::Socket;
constexpr ResourceKind kGpibSerial = ResourceKind::GpibOnSerial;
constexpr ResourceKind kGpibSocket = ResourceKind::GpibOnSocket;

const NameRow kNames[] = {
    // Serial port names as they always were.
    {"com1", kSerial, "com1", "", 0, -1, false},
    {"/dev/ttyUSB0", kSerial, "/dev/ttyUSB0", "", 0, -1, false},
    {"/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", kSerial,
     "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", "", 0, -1, false},
    {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", kSerial,
     "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", "", 0, -1, false},
    {"pci-0000:00:14.0-usb-0:1:1.0-port0", kSerial, "pci-0000:00:14.0-usb-0:1:1.0-port0", "", 0, -1,
     false},
    {"ttyS0", kSerial, "ttyS0", "", 0, -1, false},
    {"", kSerial, "", "", 0, -1, false},
    // VISA serial.
    {"ASRL/dev/ttyUSB0::INSTR", kSerial, "/dev/ttyUSB0", "", 0, -1, false},
    {"asrl/dev/ttyACM1::instr", kSerial, "/dev/ttyACM1", "", 0, -1, false},
    {"ASRL3::INSTR", kSerial, "com3", "", 0, -1, false},
    // Raw sockets, VISA style, any letter case, a board number.
    {"TCPIP::192.168.1.50::5025::SOCKET", kSocket, "", "192.168.1.50", 5025, -1, false},
    {"TCPIP0::dmm-3.lab::5025::SOCKET", kSocket, "", "dmm-3.lab", 5025, -1, false},
    {"tcpip::127.0.0.1::5025::socket", kSocket, "", "127.0.0.1", 5025, -1, false},
    {"TCPIP::fe80::1::5025::SOCKET", kSocket, "", "fe80::1", 5025, -1, false},
    {"TCPIP::[::1]::5025::SOCKET", kSocket, "", "::1", 5025, -1, false},
    {"TCPIP::host::0::SOCKET", kSocket, "", "host", 0, -1, true},
    {"TCPIP::host::70000::SOCKET", kSocket, "", "host", 0, -1, true},
    {"TCPIP::bad/host::5025::SOCKET", kSocket, "", "", 5025, -1, true},
    {"TCPIP::192.168.1.50::INSTR", kSocket, "", "", 0, -1, true},
    // The short form.
    {"192.168.1.50:5025", kSocket, "", "192.168.1.50", 5025, -1, false},
    {"dmm-3.lab:5025", kSocket, "", "dmm-3.lab", 5025, -1, false},
    {"[::1]:5025", kSocket, "", "::1", 5025, -1, false},
    {"[2001:db8::7]:5025", kSocket, "", "2001:db8::7", 5025, -1, false},
    {"dmm:0", kSocket, "", "dmm", 0, -1, true},
    {"dmm:99999", kSocket, "", "dmm", 0, -1, true},
    // Not the short form: serial port names.
    {"[not-an-address]:5025", kSerial, "[not-an-address]:5025", "", 0, -1, false},
    {"a/b:5025", kSerial, "a/b:5025", "", 0, -1, false},
    {"dmm:50x", kSerial, "dmm:50x", "", 0, -1, false},
    {"-dmm:5025", kSerial, "-dmm:5025", "", 0, -1, false},
    {"dmm:", kSerial, "dmm:", "", 0, -1, false},
    {":5025", kSerial, ":5025", "", 0, -1, false},
    {"host name:5025", kSerial, "host name:5025", "", 0, -1, false},
    {"dmm\x1b]0;x\x07:5025", kSerial, "dmm\x1b]0;x\x07:5025", "", 0, -1, false},
    // GPIB behind an adapter.
    {"GPIB::22@/dev/ttyUSB0", kGpibSerial, "/dev/ttyUSB0", "", 0, 22, false},
    {"gpib0::9::instr@ASRL/dev/ttyUSB1::INSTR", kGpibSerial, "/dev/ttyUSB1", "", 0, 9, false},
    {"GPIB::0@com2", kGpibSerial, "com2", "", 0, 0, false},
    {"GPIB::22@192.168.1.60:1234", kGpibSocket, "", "192.168.1.60", 1234, 22, false},
    {"GPIB::30@TCPIP::127.0.0.1::1234::SOCKET", kGpibSocket, "", "127.0.0.1", 1234, 30, false},
    {"GPIB::31@/dev/ttyUSB0", kGpibSerial, "/dev/ttyUSB0", "", 0, -1, true},
    {"GPIB::x@/dev/ttyUSB0", kGpibSerial, "/dev/ttyUSB0", "", 0, -1, true},
    {"GPIB::22@", kGpibSerial, "", "", 0, 22, true},
    {"GPIB::22", kSerial, "GPIB::22", "", 0, -1, false},
};

class ResourceNames : public ::testing::TestWithParam<NameRow> {};

TEST_P(ResourceNames, ReadAsWritten) {
    const NameRow& row = GetParam();
    const Resource r = ParseResource(row.text);
    EXPECT_EQ(r.kind, row.kind);
    EXPECT_EQ(r.serialPort, row.serialPort);
    EXPECT_EQ(r.host, row.host);
    EXPECT_EQ(r.port, row.port);
    EXPECT_EQ(r.gpibAddress, row.gpib);
    EXPECT_EQ(!r.problem.empty(), row.problem) << r.problem;
}

INSTANTIATE_TEST_SUITE_P(Table, ResourceNames, ::testing::ValuesIn(kNames));

TEST(ResourceNames, AreDescribedForPeople) {
    EXPECT_EQ(DescribeResource(ParseResource("TCPIP::10.0.0.2::5025::SOCKET")),
              "10.0.0.2 port 5025 (raw socket)");
    EXPECT_EQ(DescribeResource(ParseResource("[::1]:5025")), "[::1] port 5025 (raw socket)");
    EXPECT_EQ(DescribeResource(ParseResource("GPIB::22@/dev/ttyUSB0")), "GPIB 22 on /dev/ttyUSB0");
    EXPECT_EQ(DescribeResource(ParseResource("GPIB::5@10.0.0.3:1234")),
              "GPIB 5 on 10.0.0.3 port 1234");
    EXPECT_EQ(DescribeResource(ParseResource("com1")), "com1");
}

} // namespace
} // namespace velmora
