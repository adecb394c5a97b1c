// FormatReal: exact texts for chosen values, and agreement with printf's %.15Lg.
#include "text/real_conversion.h"
#include "text/regional_settings.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace velmora {
namespace {

using Limits = std::numeric_limits<long double>;

struct FormatRow {
    const char* name;
    long double value;
    char mark;
    const char* expected;
};

const FormatRow kRows[] = {
    {"reading", 1160.4076L, '.', "1160.4076"},
    {"small_goes_scientific", 0.0000123L, '.', "1.23E-5"},
    {"smallest_fixed_exponent", 0.000123L, '.', "0.000123"},
    {"scaled_reading", 1.1604076L, '.', "1.1604076"},
    {"one_third", 1.0L / 3, '.', "0.333333333333333"},
    {"two_thirds_rounds_up", 2.0L / 3, '.', "0.666666666666667"},
    {"fifteen_digit_integer", 123456789012345.0L, '.', "123456789012345"},
    {"ten_to_fifteen", 1e15L, '.', "1E15"},
    {"sixteen_digits", 1234567890123456.0L, '.', "1.23456789012346E15"},
    {"hundred", 100.0L, '.', "100"},
    {"negative_half", -0.5L, '.', "-0.5"},
    {"zero", 0.0L, '.', "0"},
    {"negative_zero", -0.0L, '.', "0"},
    {"nines", 999999999.0L, '.', "999999999"},
    {"comma_reading", 1160.4076L, ',', "1160,4076"},
    {"comma_scientific", 0.0000123L, ',', "1,23E-5"},
    {"one_ten_thousandth", 1e-4L, '.', "0.0001"},
    {"ten_to_fourteen", 1e14L, '.', "100000000000000"},
    {"carry_reaches_scientific", 999999999999999.9L, '.', "1E15"},
    {"carry_reaches_fixed", 0.00009999999999999999L, '.', "0.0001"},
    {"negative_scientific", -1.5e-300L, '.', "-1.5E-300"},
    {"beyond_double", 1e4000L, '.', "1E4000"},
    {"largest", Limits::max(), '.', "1.18973149535723E4932"},
    {"smallest_normal", Limits::min(), '.', "3.36210314311209E-4932"},
    {"denormal", Limits::denorm_min(), '.', "0"},
    {"negative_denormal", -Limits::denorm_min(), '.', "0"},
    {"infinity", Limits::infinity(), '.', "INF"},
    {"negative_infinity", -Limits::infinity(), '.', "-INF"},
    {"nan", Limits::quiet_NaN(), '.', "NAN"},
    // The 16th digit decides after rounding to 18 digits first, so these
    // round up where rounding x directly to 15 digits would not.
    {"exact_tie_rounds_up", 1000000000000005.0L, '.', "1.00000000000001E15"},
    {"exact_tie_even_prefix_rounds_up", 1000000000000025.0L, '.', "1.00000000000003E15"},
    {"first_rounding_lifts_4999_to_500", 1.0000000000000049999999L, '.', "1.00000000000001"},
    {"first_rounding_tie_to_odd_rounds_up", 1000000000000004995.0L, '.', "1.00000000000001E18"},
    {"first_rounding_tie_to_even_stays", 1000000000000004985.0L, '.', "1E18"},
};

class FormatRealTable : public testing::TestWithParam<FormatRow> {};

TEST_P(FormatRealTable, GivesText) {
    const FormatRow& row = GetParam();
    EXPECT_EQ(FormatReal(row.value, row.mark), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, FormatRealTable, testing::ValuesIn(kRows),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(FormatReal, InvalidExtendedEncodingsFormatAsNan) {
    // An unnormal: exponent set, integer bit clear. The x87 rejects it.
    long double unnormal = 0;
    const uint64_t significand = 0x4000000000000000u;
    const uint16_t exponent = 0x3fff;
    std::memcpy(&unnormal, &significand, sizeof significand);
    std::memcpy(reinterpret_cast<char*>(&unnormal) + 8, &exponent, sizeof exponent);
    EXPECT_EQ(FormatReal(unnormal, '.'), "NAN");
}

TEST(FormatReal, RegionalOverloadUsesRegionalMark) {
    const RegionalSettings saved = CurrentRegionalSettings();
    RegionalSettings comma = saved;
    comma.decimalMark = ',';
    SetRegionalSettings(comma);
    EXPECT_EQ(FormatReal(-2.5L), "-2,5");
    SetRegionalSettings(saved);
    EXPECT_EQ(FormatReal(-2.5L), "-2.5");
}

// printf's %.15Lg rounds x once, straight to 15 digits, and switches to
// scientific form at the same exponents; only its exponent is written
// differently ("e+15", "e-05").
std::string PrintfOracle(long double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15Lg", value);
    std::string out = text;
    const size_t e = out.find('e');
    if (e == std::string::npos) {
        return out;
    }
    const bool negative = out[e + 1] == '-';
    size_t digits = e + 2;
    while (digits + 1 < out.size() && out[digits] == '0') {
        ++digits;
    }
    return out.substr(0, e) + "E" + (negative ? "-" : "") + out.substr(digits);
}

// Whether the 16th to 18th digits of x rounded to 18 digits are "500": only
// there do one and two roundings part (the two-step rule then rounds up).
bool FirstRoundingGivesHalf(long double value) {
    char text[48];
    std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific, 17);
    return std::strncmp(text + 16, "500", 3) == 0;
}

long double RandomNormal(std::mt19937_64& random) {
    const uint64_t significand = random() | (uint64_t{1} << 63);
    const auto exponent = static_cast<uint16_t>(1 + random() % 0x7ffe);
    const uint16_t signAndExponent = exponent | ((random() & 1) << 15);
    long double value = 0;
    std::memcpy(&value, &significand, sizeof significand);
    std::memcpy(reinterpret_cast<char*>(&value) + 8, &signAndExponent, sizeof signAndExponent);
    return value;
}

// A reply's 9 digits, as the reply handler scales it into a prefix.
long double RandomReading(std::mt19937_64& random) {
    const long double mantissa = static_cast<long double>(random() % 1000000000) / 1e8L;
    const int exponent = static_cast<int>(random() % 25) - 12;
    const long double prefix[] = {1e-9L, 1e-6L, 1e-3L, 1.0L, 1e3L, 1e6L};
    return mantissa * std::pow(10.0L, exponent) / prefix[random() % 6];
}

TEST(FormatReal, AgreesWithPrintfOutsideFirstRoundingHalves) {
    std::mt19937_64 random(20240607);
    int halves = 0;
    for (int i = 0; i < 200000; ++i) {
        const long double value = i % 2 == 0 ? RandomNormal(random) : RandomReading(random);
        SCOPED_TRACE(PrintfOracle(value));
        if (!FirstRoundingGivesHalf(value)) {
            ASSERT_EQ(FormatReal(value, '.'), PrintfOracle(value));
            continue;
        }
        // Nudging x by 1e-17 of itself moves it at least one unit of the
        // 18th digit upward but nowhere near the next 15-digit boundary, so
        // a single rounding of the nudged value rounds up as the rule does.
        ++halves;
        ASSERT_EQ(FormatReal(value, '.'), PrintfOracle(value * (1 + 1e-17L)));
    }
    EXPECT_GT(halves, 0) << "no sample exercised the two-step rounding";
}

} // namespace
} // namespace velmora
