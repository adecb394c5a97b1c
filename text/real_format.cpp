// FormatReal: general-format text of an extended-precision value.
#include "text/real_conversion.h"

#include "text/regional_settings.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace velmora {

namespace {

constexpr int kShownDigits = 15;
constexpr int kFirstRoundingDigits = 18;
// Scientific form is used when the decimal exponent E (10^(E-1) <= |x| < 10^E)
// leaves this range.
constexpr int kFixedMinExponent = -3;
constexpr int kFixedMaxExponent = 15;

enum class RealKind { Zero, Normal, Infinity, NotANumber };

// Classifies by the bits: the x87 also has encodings (unnormals, pseudo-NaNs,
// pseudo-infinities) that its arithmetic rejects as invalid operands; they
// format as NAN. Denormals and pseudo-denormals are below the normal range
// and format as 0.
RealKind Classify(long double value, bool& negative) {
    uint64_t significand = 0;
    uint16_t signAndExponent = 0;
    std::memcpy(&significand, &value, sizeof significand);
    std::memcpy(&signAndExponent, reinterpret_cast<const char*>(&value) + sizeof significand,
                sizeof signAndExponent);
    negative = (signAndExponent & 0x8000u) != 0;
    const unsigned biasedExponent = signAndExponent & 0x7fffu;
    const bool integerBit = (significand >> 63) != 0;
    if (biasedExponent == 0x7fffu) {
        return significand == (uint64_t{1} << 63) ? RealKind::Infinity : RealKind::NotANumber;
    }
    if (biasedExponent == 0) {
        return RealKind::Zero;
    }
    return integerBit ? RealKind::Normal : RealKind::NotANumber;
}

// The 15 shown digits of a normal magnitude and its decimal exponent E.
struct ShownDigits {
    char digits[kFirstRoundingDigits];
    int count;
    int exponent;
};

ShownDigits RoundToShownDigits(long double magnitude) {
    // Scientific with 17 decimals is the magnitude rounded to 18 significant
    // digits, ties to even, exactly and without any locale: d.ddd...de+X.
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                                      std::chars_format::scientific, kFirstRoundingDigits - 1);
    ShownDigits shown{};
    shown.digits[0] = buffer[0];
    std::memcpy(shown.digits + 1, buffer + 2, kFirstRoundingDigits - 1);
    const char* exponentText = buffer + kFirstRoundingDigits + 2; // the sign after the e
    const bool exponentNegative = *exponentText == '-';
    int exponent = 0;
    for (const char* p = exponentText + 1; p < result.ptr; ++p) {
        exponent = exponent * 10 + (*p - '0');
    }
    shown.exponent = (exponentNegative ? -exponent : exponent) + 1;

    // Second rounding, from 18 to 15 digits: a 16th digit of 5 or more rounds up.
    shown.count = kShownDigits;
    if (shown.digits[kShownDigits] >= '5') {
        int i = kShownDigits - 1;
        while (i >= 0 && shown.digits[i] == '9') {
            shown.digits[i--] = '0';
        }
        if (i >= 0) {
            ++shown.digits[i];
        } else {
            shown.digits[0] = '1';
            shown.count = 1;
            ++shown.exponent;
        }
    }
    while (shown.count > 1 && shown.digits[shown.count - 1] == '0') {
        --shown.count;
    }
    return shown;
}

} // namespace

std::string FormatReal(long double value, char decimalMark) {
    bool negative = false;
    switch (Classify(value, negative)) {
    case RealKind::Zero:
        return "0";
    case RealKind::Infinity:
        return negative ? "-INF" : "INF";
    case RealKind::NotANumber:
        return "NAN";
    case RealKind::Normal:
        break;
    }

    const ShownDigits shown = RoundToShownDigits(std::fabs(value));
    // Longest: "-d.dddddddddddddd" and "E-4951", or "-0.000" and 15 digits.
    char out[40];
    size_t n = 0;
    if (negative) {
        out[n++] = '-';
    }
    const int e = shown.exponent;
    if (e > kFixedMaxExponent || e < kFixedMinExponent) {
        out[n++] = shown.digits[0];
        if (shown.count > 1) {
            out[n++] = decimalMark;
            std::memcpy(out + n, shown.digits + 1, shown.count - 1);
            n += shown.count - 1;
        }
        out[n++] = 'E';
        n = std::to_chars(out + n, out + sizeof out, e - 1).ptr - out;
    } else if (e <= 0) {
        out[n++] = '0';
        out[n++] = decimalMark;
        std::memset(out + n, '0', -e);
        n += -e;
        std::memcpy(out + n, shown.digits, shown.count);
        n += shown.count;
    } else {
        for (int i = 0; i < e; ++i) {
            out[n++] = i < shown.count ? shown.digits[i] : '0';
        }
        if (shown.count > e) {
            out[n++] = decimalMark;
            std::memcpy(out + n, shown.digits + e, shown.count - e);
            n += shown.count - e;
        }
    }
    return std::string(out, n);
}

std::string FormatReal(long double value) {
    return FormatReal(value, CurrentRegionalSettings().decimalMark);
}

} // namespace velmora
