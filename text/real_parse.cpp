// ParseReal: reading a number text into an extended-precision value.
#include "text/real_conversion.h"

#include "text/convert_error.h"
#include "text/powers_of_ten.h"
#include "text/regional_settings.h"

#include <cmath>
#include <cstdint>

namespace velmora {

namespace {

// Beyond this a further digit could overflow the 64-bit accumulator.
constexpr uint64_t kExactAccumulatorLimit = 1844674407370955161u;
// Exponent digits stop being read once the magnitude reaches this.
constexpr int64_t kExponentReadLimit = 500;

bool IsDigit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

[[noreturn]] void ThrowInvalidReal(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

// value * 10 + digit with extended-precision rounding. Up to 19 digits the
// integer accumulator gives the same (exact) result, much faster.
class DigitAccumulator {
public:
    void Add(char digit) {
        const unsigned d = static_cast<unsigned>(digit - '0');
        if (!wide_ && exact_ < kExactAccumulatorLimit) {
            exact_ = exact_ * 10 + d;
            return;
        }
        if (!wide_) {
            value_ = static_cast<long double>(exact_);
            wide_ = true;
        }
        value_ = value_ * 10.0L + static_cast<long double>(d);
    }
    long double Value() const { return wide_ ? value_ : static_cast<long double>(exact_); }

private:
    uint64_t exact_ = 0;
    long double value_ = 0.0L;
    bool wide_ = false;
};

} // namespace

long double ParseReal(std::string_view text, char decimalMark) {
    const char* p = text.data();
    const char* const end = p + text.size();

    while (p < end && *p == ' ') {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }

    DigitAccumulator mantissa;
    bool mantissaTaken = false;
    int64_t fractionDigits = 0;
    while (p < end && IsDigit(*p)) {
        mantissa.Add(*p++);
        mantissaTaken = true;
    }
    if (p < end && *p == decimalMark) {
        ++p;
        mantissaTaken = true;
        while (p < end && IsDigit(*p)) {
            mantissa.Add(*p++);
            ++fractionDigits;
        }
    }
    if (!mantissaTaken) {
        ThrowInvalidReal(text);
    }

    int64_t exponent = 0;
    if (p < end && (*p == 'E' || *p == 'e')) {
        ++p;
        bool exponentNegative = false;
        if (p < end && (*p == '+' || *p == '-')) {
            exponentNegative = *p == '-';
            ++p;
        }
        // Stopping at 500 keeps the exponent small; a digit left unread then
        // fails the end-of-text check below, so 1E5000 is rejected.
        while (p < end && IsDigit(*p) && exponent < kExponentReadLimit) {
            exponent = exponent * 10 + (*p++ - '0');
        }
        if (exponentNegative) {
            exponent = -exponent;
        }
    }

    while (p < end && *p == ' ') {
        ++p;
    }
    if (p != end) {
        ThrowInvalidReal(text);
    }

    long double value = mantissa.Value();
    const int64_t power = exponent - fractionDigits;
    if (power != 0) {
        value = ScaleByPowerOfTen(value, power);
    }
    if (!std::isfinite(value)) {
        ThrowInvalidReal(text);
    }
    return negative ? -value : value;
}

long double ParseReal(std::string_view text) {
    return ParseReal(text, CurrentRegionalSettings().decimalMark);
}

std::optional<double> ParseSettingsNumber(std::string_view text, char decimalMark) {
    try {
        const auto value = static_cast<double>(ParseReal(text, decimalMark));
        if (std::isfinite(value)) {
            return value;
        }
    } catch (const EConvertError&) {
    }
    return std::nullopt;
}

} // namespace velmora
