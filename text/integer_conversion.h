// ParseInteger and FormatInteger: signed integers to and from decimal text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmora {

// Optional leading blanks, one optional sign, then decimal digits or a
// hexadecimal number after "$", "x", "X", "0x" or "0X", to the end of the
// text. Throws EConvertError "'<text>' is not a valid integer value".
//   ParseInteger(" 42")         -> 42
//   ParseInteger("42 ")         -> EConvertError
//   ParseInteger("$1F")         -> 31
//   ParseInteger("$FFFFFFFF")   -> -1
//   ParseInteger("2147483648")  -> EConvertError
int32_t ParseInteger(std::string_view text);

// Decimal digits, "-" before a negative value, no grouping.
//   FormatInteger(-2147483648) -> "-2147483648"
std::string FormatInteger(int32_t value);
// The 64-bit form, for unsigned 32-bit values such as the baud rate.
std::string FormatInteger(int64_t value);

} // namespace velmora
