// Where a meter is, written as test-and-measurement users write it: a serial port, a raw
// socket on the network, or a GPIB address behind an adapter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

enum class ResourceKind {
    Serial,       // a port name as the serial component takes it ("com1", a device path)
    Socket,       // SCPI over a raw TCP socket
    GpibOnSerial, // a "++" GPIB adapter on a serial device
    GpibOnSocket, // a "++" GPIB adapter reached over TCP
};

struct Resource {
    ResourceKind kind = ResourceKind::Serial;
    std::string serialPort; // Serial, GpibOnSerial
    std::string host;       // Socket, GpibOnSocket; an IPv6 address without brackets
    uint16_t port = 0;      // Socket, GpibOnSocket
    int gpibAddress = -1;   // GpibOnSerial, GpibOnSocket: 0 to 30
    // Set when the text is plainly meant as a network or GPIB resource but
    // cannot be one ("port 0", "GPIB address 31"): said when opening, rather
    // than looking the text up as a serial port.
    std::string problem;

    bool onNetwork() const {
        return kind == ResourceKind::Socket || kind == ResourceKind::GpibOnSocket;
    }
    bool gpib() const {
        return kind == ResourceKind::GpibOnSerial || kind == ResourceKind::GpibOnSocket;
    }
};

// Reads a resource name; letter case does not matter in the keywords:
//   TCPIP::host::5025::SOCKET   (also TCPIP0::…; host an IPv4 or IPv6 address or a name)
//   host:5025                   (IPv4 address, [IPv6 address] or a name of letters, digits, '-',
//   '.') ASRL/dev/ttyUSB0::INSTR     (a serial device; ASRL1::INSTR is com1) GPIB::22@/dev/ttyUSB0
//   (GPIB address 22 behind an adapter on a serial port; GPIB0::22::INSTR@… too) GPIB::22@host:1234
//   (the same adapter on the network; a TCPIP::…::SOCKET name too)
// Anything else is a serial port name exactly as written ("com1", device paths, by-id and
// by-path names, which hold colons).
Resource ParseResource(std::string_view text);

// For people: "192.168.1.50 port 5025 (raw socket)", "GPIB 22 on /dev/ttyUSB0".
std::string DescribeResource(const Resource& resource);

} // namespace velmora
