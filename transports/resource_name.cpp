// Resource names: the VISA-style forms, the short host:port form, and serial port names.
#include "transports/resource_name.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <optional>

namespace velmora {

namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](unsigned char c) { return std::isdigit(c) != 0; });
}

// A decimal number up to `most`, without sign or blanks.
std::optional<int> Number(std::string_view text, int most) {
    if (!AllDigits(text) || text.size() > 5) {
        return std::nullopt;
    }
    const int value = std::stoi(std::string(text));
    return value <= most ? std::optional<int>(value) : std::nullopt;
}

bool Ipv6(const std::string& text) {
    in6_addr address{};
    return inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

// Letters, digits, '-' and '.': a host name or an IPv4 address.
bool HostName(std::string_view text) {
    return !text.empty() && text.front() != '-' && text.front() != '.' &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) {
               return std::isalnum(c) != 0 || c == '-' || c == '.';
           });
}

// A host as written in a resource: a name, an IPv4 address, or an IPv6
// address with or without brackets. Empty when it is none of them.
std::string Host(std::string_view text) {
    if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
        const std::string inner(text.substr(1, text.size() - 2));
        return Ipv6(inner) ? inner : std::string();
    }
    if (HostName(text)) {
        return std::string(text);
    }
    return Ipv6(std::string(text)) ? std::string(text) : std::string();
}

// "NAME:DIGITS", the whole text; a bracketed IPv6 address as NAME.
bool ShortForm(std::string_view text, Resource& out) {
    const size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    const std::string_view name = text.substr(0, colon);
    const std::string_view digits = text.substr(colon + 1);
    const bool bracketed = name.front() == '[';
    if (!bracketed && (name.find(':') != std::string_view::npos || !HostName(name))) {
        return false; // a by-path name, a device path: a serial port
    }
    const std::string host = Host(name);
    if (host.empty() || !AllDigits(digits)) {
        return false;
    }
    const std::optional<int> port = Number(digits, 65535);
    out.host = host;
    out.port = static_cast<uint16_t>(port.value_or(0));
    if (!port || *port == 0) {
        out.problem = "port " + std::string(digits) + " is no TCP port (1 to 65535)";
    }
    return true;
}

// "TCPIP[n]::host::port::SOCKET".
bool VisaSocket(std::string_view text, Resource& out) {
    const std::string upper = Upper(text);
    if (!upper.starts_with("TCPIP")) {
        return false;
    }
    size_t at = 5;
    while (at < upper.size() && std::isdigit(static_cast<unsigned char>(upper[at]))) {
        ++at;
    }
    if (upper.compare(at, 2, "::") != 0) {
        return false;
    }
    const std::string_view rest = text.substr(at + 2);
    const std::string restUpper = upper.substr(at + 2);
    if (!restUpper.ends_with("::SOCKET")) {
        out.problem = "only raw sockets are reached on the network (TCPIP::host::port::SOCKET)";
        return true;
    }
    const std::string_view body = rest.substr(0, rest.size() - 8);
    const size_t colons = body.rfind("::");
    if (colons == std::string_view::npos) {
        out.problem = "a socket resource names its host and port (TCPIP::host::5025::SOCKET)";
        return true;
    }
    const std::string host = Host(body.substr(0, colons));
    const std::string_view digits = body.substr(colons + 2);
    const std::optional<int> port = Number(digits, 65535);
    out.host = host;
    out.port = static_cast<uint16_t>(port.value_or(0));
    if (host.empty()) {
        out.problem = "\"" + std::string(body.substr(0, colons)) + "\" is no host name or address";
    } else if (!port || *port == 0) {
        out.problem = "port " + std::string(digits) + " is no TCP port (1 to 65535)";
    }
    return true;
}

// "ASRL/dev/ttyUSB0::INSTR" or "ASRL1::INSTR".
bool VisaSerial(std::string_view text, Resource& out) {
    const std::string upper = Upper(text);
    if (!upper.starts_with("ASRL") || !upper.ends_with("::INSTR") || text.size() <= 11) {
        return false;
    }
    const std::string_view device = text.substr(4, text.size() - 11);
    if (AllDigits(device)) {
        out.serialPort = "com" + std::string(device);
        return true;
    }
    if (device.front() != '/') {
        return false;
    }
    out.serialPort = std::string(device);
    return true;
}

// "GPIB[n]::ADDR[::INSTR]@adapter".
bool Gpib(std::string_view text, Resource& out) {
    const std::string upper = Upper(text);
    if (!upper.starts_with("GPIB")) {
        return false;
    }
    const size_t atSign = text.find('@');
    size_t at = 4;
    while (at < upper.size() && std::isdigit(static_cast<unsigned char>(upper[at]))) {
        ++at;
    }
    if (atSign == std::string_view::npos || upper.compare(at, 2, "::") != 0 || atSign < at + 2) {
        return false;
    }
    std::string_view address = text.substr(at + 2, atSign - at - 2);
    if (Upper(address).ends_with("::INSTR")) {
        address.remove_suffix(7);
    }
    const std::optional<int> number = Number(address, 30);
    out.gpibAddress = number.value_or(-1);
    if (!number) {
        out.problem = "GPIB address \"" + std::string(address) + "\" is not 0 to 30";
    }
    const std::string_view adapter = text.substr(atSign + 1);
    Resource where;
    if (VisaSocket(adapter, where) || ShortForm(adapter, where)) {
        out.kind = ResourceKind::GpibOnSocket;
        out.host = where.host;
        out.port = where.port;
    } else {
        out.kind = ResourceKind::GpibOnSerial;
        out.serialPort = VisaSerial(adapter, where) ? where.serialPort : std::string(adapter);
        if (out.serialPort.empty()) {
            where.problem = "the adapter's port is missing (GPIB::22@/dev/ttyUSB0)";
        }
    }
    if (out.problem.empty()) {
        out.problem = where.problem;
    }
    return true;
}

} // namespace

Resource ParseResource(std::string_view text) {
    Resource out;
    if (Gpib(text, out)) {
        return out;
    }
    out = {};
    if (VisaSocket(text, out) || ShortForm(text, out)) {
        out.kind = ResourceKind::Socket;
        return out;
    }
    out = {};
    if (!VisaSerial(text, out)) {
        out.serialPort = std::string(text);
    }
    return out;
}

std::string DescribeResource(const Resource& resource) {
    const std::string host =
        resource.host.find(':') != std::string::npos ? "[" + resource.host + "]" : resource.host;
    switch (resource.kind) {
    case ResourceKind::Socket:
        return host + " port " + std::to_string(resource.port) + " (raw socket)";
    case ResourceKind::GpibOnSerial:
        return "GPIB " + std::to_string(resource.gpibAddress) + " on " + resource.serialPort;
    case ResourceKind::GpibOnSocket:
        return "GPIB " + std::to_string(resource.gpibAddress) + " on " + host + " port " +
               std::to_string(resource.port);
    case ResourceKind::Serial:
        break;
    }
    return resource.serialPort;
}

} // namespace velmora
