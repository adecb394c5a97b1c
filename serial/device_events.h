// Device events of serial ports (added, removed, changed), from udev or from a test.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace velmora {

struct DeviceEvent {
    std::string action;             // "add", "remove", "change", "bind" ...
    std::string devnode;            // "/dev/ttyUSB0"
    std::vector<std::string> links; // "/dev/serial/by-id/usb-FTDI_..."
};

// A source of events for the serial ports' subsystem ("tty"): its descriptor
// turns readable when events wait, and Take() returns them.
class DeviceEventSource {
public:
    virtual ~DeviceEventSource() = default;
    virtual int Fd() const = 0;
    virtual std::vector<DeviceEvent> Take() = 0;
};

// Events from udev's monitor on its "udev" source: they come after udev's
// rules have run, so the stable /dev/serial/by-id links exist by then. Null
// where udev cannot be asked (no netlink socket); in a container or for a
// pseudo-terminal it may give nothing at all, which the watcher allows for.
std::unique_ptr<DeviceEventSource> OpenUdevSerialEvents();

} // namespace velmora
