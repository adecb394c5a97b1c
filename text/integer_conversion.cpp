// ParseInteger and FormatInteger: signed integers to and from decimal text.
#include "text/integer_conversion.h"

#include "text/convert_error.h"

#include <charconv>

namespace velmora {

namespace {

// A further digit is refused once the value exceeds these, which keeps the
// accumulator within 32 bits: at most 8 significant hex digits, and decimal
// values up to 2147483649 before the final range check.
constexpr uint32_t kHexAccumulatorLimit = 0x0FFFFFFFu;
constexpr uint32_t kDecimalAccumulatorLimit = 214748364u;

[[noreturn]] void ThrowInvalidInteger(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

template <typename Integer>
std::string FormatDecimal(Integer value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

int32_t ParseInteger(std::string_view text) {
    size_t i = 0;
    const size_t size = text.size();
    while (i < size && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < size && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    const bool hexPrefix = i < size && (text[i] == '$' || text[i] == 'x' || text[i] == 'X');
    const bool zeroXPrefix =
        i + 1 < size && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
    if (hexPrefix || zeroXPrefix) {
        i += hexPrefix ? 1 : 2;
        if (i == size) {
            ThrowInvalidInteger(text);
        }
        uint32_t value = 0;
        for (; i < size; ++i) {
            const int digit = HexDigitValue(text[i]);
            if (digit < 0 || value > kHexAccumulatorLimit) {
                ThrowInvalidInteger(text);
            }
            value = value * 16 + static_cast<uint32_t>(digit);
        }
        // The 32 bits are a signed value ($FFFFFFFF is -1); the sign is then
        // applied with wrap-around, so -$80000000 stays -2147483648.
        return static_cast<int32_t>(negative ? 0u - value : value);
    }

    if (i == size) {
        ThrowInvalidInteger(text);
    }
    uint32_t value = 0;
    for (; i < size; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9' || value > kDecimalAccumulatorLimit) {
            ThrowInvalidInteger(text);
        }
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (negative) {
        if (value > 2147483648u) {
            ThrowInvalidInteger(text);
        }
        return static_cast<int32_t>(0u - value);
    }
    if (value > 2147483647u) {
        ThrowInvalidInteger(text);
    }
    return static_cast<int32_t>(value);
}

std::string FormatInteger(int32_t value) {
    return FormatDecimal(value);
}

std::string FormatInteger(int64_t value) {
    return FormatDecimal(value);
}

} // namespace velmora
