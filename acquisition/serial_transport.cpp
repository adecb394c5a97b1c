// The serial port as a meter transport.
#include "acquisition/serial_transport.h"

#include "serial/comm.h"
#include "serial/device_path.h"
#include "serial/port_return_watcher.h"

#include <limits>

namespace velmora {

bool SerialTransport::isOpen() const {
    return comm_.PortOpen();
}

void SerialTransport::open() {
    comm_.OpenPort();
}

void SerialTransport::close() {
    comm_.ClosePort();
}

bool SerialTransport::send(std::string_view bytes) {
    // The component counts in 16 bits; no command comes near that.
    if (bytes.size() > std::numeric_limits<uint16_t>::max()) {
        return false;
    }
    return comm_.SendData(bytes.data(), static_cast<uint16_t>(bytes.size()));
}

void SerialTransport::setEndReadAtLineFeed(bool on) {
    comm_.SetEndReadAtLineFeed(on);
}

void SerialTransport::watchForReturn(std::function<void()> present) {
    watcher_.onPresent = std::move(present);
    watcher_.Watch(DevicePathForPort(comm_.CommName(), comm_.DeviceFolder()));
}

void SerialTransport::stopWatching() {
    watcher_.Stop();
}

bool SerialTransport::retryAfterOpenError(const std::exception& error) {
    const auto* comms = dynamic_cast<const ECommsError*>(&error);
    return watcher_.RetryAfterOpenError(comms ? comms->systemError() : 0);
}

} // namespace velmora
