// The headless logger's command line.
#pragma once

#include "alarms/alarm_definition.h"
#include "math/math_chain.h"
#include "measure/meter_settings.h"
#include "publish/publish_settings.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct LoggerOptions {
    std::string port = "com1"; // a port name (com1, ttyUSB0), a device path, or a resource name
    std::string meterName;     // [Meter] Name= of the settings file; empty: the port
    uint32_t baud = 9600;
    std::string function; // the meter's name ("VOLT", "RES"); empty: as it is
    std::optional<double> nplc;
    bool fast = false; // replies end at their line end, the next query at once
    int samples = 1;   // readings a "Read?" asks for; above 1 a burst
    std::optional<uint64_t> count;
    std::optional<double> duration; // seconds
    double interval = 0;            // seconds between readings; 0: as fast as the mode allows
    // Seconds an answer may take; none: 10 s and the longest the query can
    // take with the settings in force.
    std::optional<double> replyTimeout;
    std::string output; // empty or "-": standard output
    std::string deviceFolder = "/dev";
    std::string settingsFile; // read for what the command line leaves open
    bool help = false;
    bool list = false;   // print the serial ports and stop
    std::string profile; // a meter profile by its model ("3446x/3447x class"); empty: by the line

    // The control interface: the private socket, a TCP port (127.0.0.1
    // unless an address is named), lines for the meter, and where a
    // client's recordings go (empty: the output's folder, or the working one).
    bool control = false;
    std::optional<uint16_t> controlTcpPort;
    std::string controlAddress = "127.0.0.1";
    bool allowMeterCommands = false;
    std::string recordFolder;

    // Publishing: the servers (the settings file's [Publish] section for
    // what the command line leaves open) and where the spool lies (empty:
    // $XDG_STATE_HOME/velmora/spool/METER).
    PublishConfig publish;
    std::string spoolFolder;

    // From the settings file: the function's settings besides the
    // integration time, the meter's display, and the alarms.
    FunctionSettings functionSettings;
    bool displayOn = true;
    std::vector<AlarmDefinition> alarms;

    // Math on the readings: each function's from the settings file; the
    // command line's (--null, --scale ...) for --function, in its place.
    std::map<std::string, MathSettings> math;
    std::optional<MathSettings> commandLineMath;

    // The options given on the command line ("--port"): they come before
    // the settings file.
    std::set<std::string> given;
};

struct ParsedLoggerOptions {
    LoggerOptions options;
    std::optional<std::string> error; // "unknown option --bogus"
};

// GNU-style: "--port ttyUSB0" or "--port=ttyUSB0"; function names as the
// meter gives them or as the buttons say ("dcv", "ohm4", "diode" ...).
ParsedLoggerOptions ParseLoggerOptions(const std::vector<std::string>& arguments);

// The whole text as a number of type T: "19200" -> 19200; nothing for "",
// "96x", "-1" or a number too big for T.
template <typename T>
std::optional<T> ParseWholeNumber(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The text of --help.
std::string LoggerUsage();

} // namespace velmora
