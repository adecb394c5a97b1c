// The math of every function on the readings as they come: nulls, limit counts, the last result.
#pragma once

#include "math/math_chain.h"
#include "record/recording_format.h"

#include <map>
#include <optional>
#include <string>

namespace velmora {

// Keeps each function's math, its null and its limit counts apart, so a
// null taken on ohms is there again after a turn to volts and back, and an
// overload leaves it as it was. Shared by the window and the logger.
class ReadingMath {
public:
    void setSettings(std::map<std::string, MathSettings> settings);
    const std::map<std::string, MathSettings>& settings() const { return settings_; }
    // The function's math while any of it is on; nothing otherwise.
    const MathSettings* mathOf(const std::string& function) const;

    // A reading of `function` ("" while the meter has not named it: no math
    // applies) in `unit`; nothing when its function has no math.
    std::optional<MathResult> take(const std::string& function, long double raw,
                                   const std::string& unit);
    // The last result of any function, while it is the last reading's.
    const std::optional<MathResult>& last() const { return last_; }

    // The last reading of `function` becomes its offset; false (nothing
    // changed) when none came since the start or it was an overload.
    bool nullNow(const std::string& function);
    void clearNull(const std::string& function);

    LimitCounts counts(const std::string& function) const;
    void resetCounts();

private:
    std::map<std::string, MathSettings> settings_;
    std::map<std::string, long double> lastRaw_; // of each function, overloads left out
    std::map<std::string, LimitCounts> counts_;
    std::optional<MathResult> last_;
};

// The recording's math columns for a result.
RecordingMath RecordingColumns(const MathResult& result);

// The displays' texts for a result: the upper the number (temperatures with
// two decimals, dB and dBm with three, other results with up to seven
// digits), "OVERLOAD" or "OUT RANGE"; the lower eight blanks and the unit in
// the displays' character set.
struct MathDisplayTexts {
    std::string upper;
    std::string lower;
};
MathDisplayTexts MathDisplay(const MathResult& result, MathConversion conversion);

// A UTF-8 unit in the displays' Latin-1 character set: "°C" -> "\xB0C";
// characters beyond Latin-1 by plain letters ("Ω" -> "OHM", "μ" -> "u"),
// any other as "?".
std::string LcdUnit(const std::string& utf8);

} // namespace velmora
