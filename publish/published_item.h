// What the publishers send: one reading or one event of a meter, as it waits in the spool.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

struct PublishedItem {
    enum class Kind { Reading, Event };
    Kind kind = Kind::Reading;
    std::string meter;
    // 1, 2, 3 ... for every item of the meter since the program started;
    // `run` (the start's wall-clock milliseconds) tells two runs apart.
    uint64_t sequence = 0;
    int64_t run = 0;
    // The reading's wall-clock time, as the recording's time column has it
    // (a burst's reading spread back), in nanoseconds since the epoch; it
    // strictly increases per meter so that no two points merge.
    int64_t timeNs = 0;
    double seconds = 0;          // since the program started publishing (monotonic clock)
    std::optional<double> value; // nothing for an overload
    std::string unit;            // "V DC", "OHM"
    std::string function;        // the meter's name of it: "VOLT", "RES"
    std::string status;          // "ok", "overload", "burst"
    std::string event;           // for an event: "function V DC", "port lost", "alarm ..."
    // The math's value of the reading, when its function has math.
    std::optional<double> math;
    std::string mathUnit;
    std::string limit; // "pass", "low", "high" or empty
};

// One line of the spool for an item (no line end in it) and back; nothing
// for a line that is not one (a torn last line after a crash).
std::string SpoolRecord(const PublishedItem& item);
std::optional<PublishedItem> ParseSpoolRecord(std::string_view line);

// "2026-12-09T10:15:00.123+01:00": the recording's form of the item's time.
std::string ItemTime(const PublishedItem& item);

} // namespace velmora
