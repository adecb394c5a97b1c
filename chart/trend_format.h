// Texts of the chart's figures: a value with an SI prefix before its unit.
#pragma once

#include <string>

namespace velmora {

// `significantDigits` digits, trailing zeros kept so that a live figure
// does not change width; the prefix is chosen so that 1 <= |mantissa| < 1000
// (p n u m k M G T; beyond them the mantissa grows or shrinks). Not finite -> "-".
//   FormatWithPrefix(1160.4076, "OHM", 8, '.')  -> "1.1604076 kOHM"
//   FormatWithPrefix(-0.0123, "V DC", 4, ',')   -> "-12,30 mV DC"
//   FormatWithPrefix(0, "Hz", 4, '.')           -> "0.000 Hz"
//   FormatWithPrefix(999.99996, "V AC", 6, '.') -> "1.00000 kV AC"
std::string FormatWithPrefix(double value, const std::string& unit, int significantDigits,
                             char decimalMark);
// Same with the regional decimal mark.
std::string FormatWithPrefix(double value, const std::string& unit, int significantDigits);

} // namespace velmora
