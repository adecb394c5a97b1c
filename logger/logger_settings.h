// The headless logger's settings file: what the command line leaves open.
#pragma once

#include "logger/logger_options.h"

#include <optional>
#include <string>

namespace velmora {

class SettingsStore;

// Takes from a settings file of the desktop program what no option gave:
// the port and rate of [COM Info] ("Port", "baudrate"), the meter's name
// ([Meter] "Name", else the port, for the "meter" event), and from the meter
// settings the chosen function's own settings, the acquisition (FAST), the
// samples a query and the display; the alarms always (no option sets them).
// The reason, and `options` partly filled, when the file holds a value that
// cannot be used: a logger left running overnight must not quietly measure
// with other settings than the file says.
std::optional<std::string> ApplyLoggerSettings(const SettingsStore& settings,
                                               LoggerOptions& options);

} // namespace velmora
