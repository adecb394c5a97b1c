// Reads a saved run back: a recording, or a reading log saved with Save.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// One reading or event of a run, on the run's own time line.
struct RunRow {
    double seconds = 0;               // since the run's first row
    double timeOfDay = 0;             // fraction of a day of the row's wall clock
    std::optional<long double> value; // a reading; overloads give kRecordingOverload
    std::string unit;
    std::string event; // events only
    // A recording's math columns, where it has them.
    std::optional<double> math; // nothing also for an overload or out of range
    std::string mathUnit;
    std::string limit;
};

struct SavedRun {
    enum class Kind { Recording, SavedLog };
    Kind kind = Kind::Recording;
    std::vector<RunRow> rows;
    uint64_t readings = 0;
    // Where reading stopped, when it stopped before the end of the text:
    //   "line 57: not a row of a recording"
    std::optional<std::string> stoppedAt;
};

// Recognises the text by its first line: the recording's header (with the
// math columns or without), or one of
// the two headers of a saved log ("No.,Function,Value,Time" and, after
// Clear, "No,Function,Value,Time"). A saved log has only times of day: they
// are laid out in order, a time earlier than the one before counting as the
// next day. Rows are read up to the first that does not fit (a torn last
// line, a file that is not ours, a typed note in a saved log); everything
// before it is kept and `stoppedAt` says where. Returns nothing when the
// first line is neither header. Never throws for what the text holds.
// `timeMark`, `amText` and `pmText` are the regional ones the log was saved
// with (":", "AM", "PM" by default).
std::optional<SavedRun> ReadRun(std::string_view text, char timeMark = ':',
                                std::string_view amText = "AM", std::string_view pmText = "PM");

} // namespace velmora
