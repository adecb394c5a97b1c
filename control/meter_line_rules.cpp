// What may go to the meter.
#include "control/meter_line_rules.h"

#include "control/scpi_message.h"

#include <vector>

namespace velmora {

std::optional<ControlError> MeterLineProblem(std::string_view line, bool query) {
    if (line.empty() || line.size() > kLongestMeterLine) {
        return ControlError{-151, line.empty() ? "empty" : "longer than 256 bytes"};
    }
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            return ControlError{-151, "control character"};
        }
    }
    const std::vector<ScpiCommand> commands = ParseProgramMessage(line);
    if (commands.empty()) {
        return ControlError{-151, "empty"};
    }
    if (commands.size() > 1) {
        return ControlError{-221, "one command at a time"};
    }
    const ScpiCommand& command = commands.front();
    if (command.problem != 0) {
        return ControlError{command.problem, "string not closed"};
    }
    static constexpr std::string_view kRefused[] = {
        "SYSTem:LOCal",
        "SYSTem:REMote",
        "SYSTem:RWLock",
        "*RST",
    };
    for (const std::string_view header : kRefused) {
        if (HeaderMatches(command, header)) {
            return ControlError{-221, "refused: Velmora keeps the meter in remote mode"};
        }
    }
    if (!command.nodes.empty() &&
        (command.nodes.front() == "CAL" || command.nodes.front() == "CALIBRATION")) {
        return ControlError{-221, "refused: calibration"};
    }
    if (command.query != query) {
        return ControlError{-221, query ? "METER? takes a query" : "a query goes with METER?"};
    }
    return std::nullopt;
}

} // namespace velmora
