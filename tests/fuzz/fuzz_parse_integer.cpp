// libFuzzer target: ParseInteger on arbitrary bytes.
//
// An accepted text must survive FormatInteger and ParseInteger unchanged. A
// text of blanks, a sign and decimal digits only must be accepted exactly
// when its value fits 32 bits, with that value (checked against
// std::from_chars). Rejected texts must raise EConvertError quoting the input.
#include "text/convert_error.h"
#include "text/integer_conversion.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

// The value of " -123"-like texts by an independent route; nullopt when the
// text has another shape, or a value outside 32 bits (as INT64_MAX).
std::optional<int64_t> DecimalReference(std::string_view text) {
    size_t i = text.find_first_not_of(' ');
    if (i == std::string_view::npos) {
        return std::nullopt;
    }
    const bool negative = text[i] == '-';
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    const std::string_view digits = text.substr(i);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    uint64_t value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec != std::errc() || value > 2147483648u) {
        return INT64_MAX;
    }
    const int64_t signedValue = negative ? -static_cast<int64_t>(value) : value;
    return signedValue > INT32_MAX ? INT64_MAX : signedValue;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<int64_t> reference = DecimalReference(text);
    int32_t value = 0;
    try {
        value = velmora::ParseInteger(text);
    } catch (const velmora::EConvertError& error) {
        if (error.message() != "'" + std::string(text) + "' is not a valid integer value") {
            std::abort();
        }
        if (reference && *reference != INT64_MAX) {
            std::abort(); // a decimal text in range was refused
        }
        return 0;
    }
    if (reference && *reference != value) {
        std::abort();
    }
    if (velmora::ParseInteger(velmora::FormatInteger(value)) != value) {
        std::abort();
    }
    return 0;
}
