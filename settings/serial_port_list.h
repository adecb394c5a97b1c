// The serial ports actually present on this machine, for the port box's list.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// Offered after the numbered "Com" names, in this order:
//   1. USB serial adapters "ttyUSB<n>", then modems and boards "ttyACM<n>", each by
//      number (ttyUSB2 before ttyUSB10), as bare names (looked up in the folder).
//   2. The stable names under <deviceFolder>/serial/by-id/, as full paths, by name;
//      they survive re-plugging, where ttyUSB<n> may change.
//   3. `emulatorLink` when something exists behind it (the meter emulator's port).
// Entries are only listed, never opened. A missing folder yields nothing.
std::vector<std::string> AvailableSerialPorts(const std::string& deviceFolder,
                                              const std::string& emulatorLink);

} // namespace velmora
