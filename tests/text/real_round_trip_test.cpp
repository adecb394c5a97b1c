// ParseReal(FormatReal(x)) keeps x to 15 significant digits.
#include "text/real_conversion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace velmora {
namespace {

// Formatting rounds to 15 digits (error at most half a unit of the 15th
// digit, plus half a unit of the 18th from the first rounding), and x is at
// least 10^(E-1), so the relative error is below 5.005e-15; parsing adds a
// few units in the last place (about 1e-19 each).
constexpr long double kRoundTripTolerance = 5.01e-15L;

long double RandomNormal(std::mt19937_64& random, unsigned minExponent) {
    const uint64_t significand = random() | (uint64_t{1} << 63);
    const auto exponent = static_cast<uint16_t>(minExponent + random() % (0x7fff - minExponent));
    const uint16_t signAndExponent = exponent | ((random() & 1) << 15);
    long double value = 0;
    std::memcpy(&value, &significand, sizeof significand);
    std::memcpy(reinterpret_cast<char*>(&value) + 8, &signAndExponent, sizeof signAndExponent);
    return value;
}

long double RandomReading(std::mt19937_64& random) {
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    const int exponent = static_cast<int>(random() % 31) - 15;
    return static_cast<long double>(mantissa(random)) * std::pow(10.0L, exponent) / 3.0L;
}

void ExpectRoundTrip(long double value, char mark) {
    const std::string text = FormatReal(value, mark);
    SCOPED_TRACE(text);
    const long double parsed = ParseReal(text, mark);
    EXPECT_LE(std::fabs(parsed - value), kRoundTripTolerance * std::fabs(value));
    // The parsed value is within a fraction of the 18th digit of the text,
    // so it formats to the very same text.
    EXPECT_EQ(FormatReal(parsed, mark), text);
}

TEST(RealRoundTrip, RandomBitPatternsAcrossTheExponentRange) {
    std::mt19937_64 random(1160);
    for (int i = 0; i < 100000; ++i) {
        // Exponent field 2 upward: a text rounded down from just above the
        // smallest normal value would parse back as a denormal.
        ExpectRoundTrip(RandomNormal(random, 2), i % 2 == 0 ? '.' : ',');
        if (HasFailure()) {
            return;
        }
    }
}

TEST(RealRoundTrip, RandomReadings) {
    std::mt19937_64 random(34401);
    for (int i = 0; i < 100000; ++i) {
        ExpectRoundTrip(RandomReading(random), '.');
        if (HasFailure()) {
            return;
        }
    }
}

TEST(RealRoundTrip, Extremes) {
    using Limits = std::numeric_limits<long double>;
    for (long double value : {Limits::max(), -Limits::max(), 2 * Limits::min(), 1e15L, 1e-4L,
                              9.99999999999999e-5L, 999999999999999.0L}) {
        ExpectRoundTrip(value, '.');
    }
}

} // namespace
} // namespace velmora
