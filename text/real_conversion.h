// ParseReal and FormatReal: extended-precision readings to and from text.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// Readings are x87 extended reals; the parser's exactness and the 18-digit
// rounding of FormatReal rely on the 64-bit significand.
static_assert(std::numeric_limits<long double>::digits == 64,
              "readings need the x87 80-bit extended format (64-bit significand)");

// Parses blanks, optional sign, digits with at most one decimal mark, an
// optional exponent ("E"/"e", optional sign, digits) and trailing blanks.
// Only the blank (32) counts as a blank. Throws EConvertError
// "'<text>' is not a valid floating point value" on any other text and when
// the value overflows; a value below the range becomes a denormal or 0.
//   ParseReal("+1.16040760E+03", '.') -> 1160.4076
//   ParseReal("  12  ", '.')          -> 12
//   ParseReal(".", '.')               -> 0
//   ParseReal("1E", '.')              -> 1
//   ParseReal("1,5", '.')             -> EConvertError
long double ParseReal(std::string_view text, char decimalMark);
// Same with the regional decimal mark.
long double ParseReal(std::string_view text);
// A settings file's number: ParseReal with `decimalMark`, as a finite
// double; nothing for any text that is none (no exception).
std::optional<double> ParseSettingsNumber(std::string_view text, char decimalMark = '.');

// General format with 15 significant digits, no trailing zeros, scientific
// form below 0.0001 and from 10^15 upward. Never fails.
//   FormatReal(1160.4076L, '.')           -> "1160.4076"
//   FormatReal(0.0000123L, ',')           -> "1,23E-5"
//   FormatReal(1234567890123456.0L, '.')  -> "1.23456789012346E15"
//   FormatReal(-0.0L, '.')                -> "0"
//   FormatReal(infinity, '.')             -> "INF"
std::string FormatReal(long double value, char decimalMark);
// Same with the regional decimal mark.
std::string FormatReal(long double value);

} // namespace velmora
