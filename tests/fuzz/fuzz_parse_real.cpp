// libFuzzer target: ParseReal with both decimal marks on arbitrary bytes.
//
// Each accepted text must give a finite value close to what the C library's
// correctly rounded reader gives for the same text in the "C" locale; its
// FormatReal text must read back to the same text. Rejected texts must raise
// EConvertError quoting the input exactly.
#include "text/convert_error.h"
#include "text/real_conversion.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>
#include <string_view>

namespace {

// Accumulation rounds once per digit after the 19th, scaling up to five
// times, each off by at most 2^-64 of the value.
long double Tolerance(std::string_view text) {
    size_t digits = 0;
    for (char c : text) {
        if (c == 'E' || c == 'e') {
            break;
        }
        digits += c >= '0' && c <= '9' ? 1 : 0;
    }
    return static_cast<long double>(digits + 8) * std::ldexp(1.0L, -63);
}

long double ReferenceValue(std::string text, char mark) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    for (char& c : text) {
        if (c == mark) {
            c = '.';
        }
    }
    return strtold_l(text.c_str(), nullptr, cLocale);
}

void Check(std::string_view text, char mark) {
    long double value = 0;
    try {
        value = velmora::ParseReal(text, mark);
    } catch (const velmora::EConvertError& error) {
        if (error.message() != "'" + std::string(text) + "' is not a valid floating point value") {
            std::abort();
        }
        return;
    }
    if (!std::isfinite(value)) {
        std::abort();
    }
    const long double magnitude = std::fabs(value);
    if (magnitude < 2 * std::numeric_limits<long double>::min()) {
        return; // denormal territory: precision runs out, only finiteness matters
    }
    const long double reference = ReferenceValue(std::string(text), mark);
    if (std::isinf(reference)) {
        // Just above the largest value the reference rounds to infinity.
        if (magnitude < std::numeric_limits<long double>::max() * (1 - Tolerance(text))) {
            std::abort();
        }
    } else if (std::fabs(value - reference) > Tolerance(text) * magnitude) {
        std::abort();
    }
    const std::string formatted = velmora::FormatReal(value, mark);
    const long double again = velmora::ParseReal(formatted, mark); // throws on a fault
    if (velmora::FormatReal(again, mark) != formatted) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Check(text, '.');
    Check(text, ',');
    return 0;
}
