// Maps a port name as the user knows it ("COM1") to the device file that opens it.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// DevicePathForPort("COM1", "/dev")     -> "/dev/ttyS0"
// DevicePathForPort("com12", "/dev")    -> "/dev/ttyS11"
// DevicePathForPort("ttyUSB0", "/dev")  -> "/dev/ttyUSB0"
// DevicePathForPort("/tmp/meter", ...)  -> "/tmp/meter"   (a path is used as is)
// DevicePathForPort("COM0", "/dev")     -> "/dev/COM0"    (no such COM number)
// The number must be plain decimal without leading zeros; anything else is
// taken as a device name inside the folder, exactly as written.
std::string DevicePathForPort(std::string_view name, std::string_view deviceFolder);

} // namespace velmora
