// A terminal device (a USB GPIB adapter's virtual serial port) as a stream line.
#pragma once

#include "transports/stream_line.h"

#include <string>

namespace velmora {

// Opened raw and exclusive: an adapter's USB serial port needs no baud rate
// or flow control, only bytes as they are. The device going away (unplugged,
// the other end of a pseudo-terminal closed) is a lost line, and its return
// is looked for by opening it again.
class DeviceLine : public StreamLine {
public:
    explicit DeviceLine(std::string path, QObject* parent = nullptr);

    const std::string& path() const { return path_; }

protected:
    // Throws TransportError: unreachable while the device is missing,
    // refused while another program holds it.
    int openDescriptor() override;

private:
    std::string path_;
};

} // namespace velmora
