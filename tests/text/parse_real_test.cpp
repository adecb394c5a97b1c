// ParseReal: accepted texts with their values, rejected texts with their message.
#include "text/convert_error.h"
#include "text/real_conversion.h"
#include "text/regional_settings.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <string>

namespace velmora {
namespace {

struct ParseRow {
    const char* name;
    std::string text;
    char mark;
    long double expected;
    long double relativeTolerance; // 0: bit-exact
};

const ParseRow kAccepted[] = {
    {"meter_reply", "+1.16040760E+03", '.', 1160.4076L, 0},
    {"meter_reply_negative", "-2.50000000E-04", '.', -0.00025L, 0},
    {"outer_blanks", "  12  ", '.', 12.0L, 0},
    {"lower_case_exponent", "1e3", '.', 1000.0L, 0},
    {"trailing_mark", "1.", '.', 1.0L, 0},
    {"leading_mark", ".5", '.', 0.5L, 0},
    {"lone_mark", ".", '.', 0.0L, 0},
    {"exponent_without_digits", "1E", '.', 1.0L, 0},
    {"exponent_sign_without_digits", "2e-", '.', 2.0L, 0},
    {"huge_exponent", "1E4000", '.', 1e4000L, 1e-18L},
    {"exponent_read_past_500_with_leading_zero", "1E0500", '.', 1e500L, 1e-18L},
    {"comma_mark", "1,5", ',', 1.5L, 0},
    {"comma_mark_meter_form", "-2,50000000E-04", ',', -0.00025L, 0},
    {"nineteen_digits_exact", "9223372036854775807", '.', 9223372036854775807.0L, 0},
    {"largest_exact_accumulation", "18446744073709551615", '.', 18446744073709551615.0L, 0},
    {"twenty_first_digit_rounds", "184467440737095516159", '.', 184467440737095516160.0L, 0},
    {"long_mantissa", "123456789012345678901234567890", '.', 1.2345678901234567890e29L, 1e-18L},
    {"fraction_digits_offset_exponent", "0." + std::string(5000, '0') + "1E4999", '.', 0.01L, 0},
    {"near_largest", "1.18973149535723E4932", '.', 1.18973149535723E4932L, 1e-18L},
    {"underflow_to_zero", "1E-4999", '.', 0.0L, 0},
    {"zero_with_huge_exponent", "0E4999", '.', 0.0L, 0},
    {"negative_zero", "-0", '.', -0.0L, 0},
};

class ParseRealAccepts : public testing::TestWithParam<ParseRow> {};

TEST_P(ParseRealAccepts, GivesValue) {
    const ParseRow& row = GetParam();
    const long double value = ParseReal(row.text, row.mark);
    if (row.relativeTolerance == 0) {
        EXPECT_EQ(value, row.expected);
        EXPECT_EQ(std::signbit(value), std::signbit(row.expected));
    } else {
        EXPECT_LE(std::fabs(value - row.expected), row.relativeTolerance * std::fabs(row.expected));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ParseRealAccepts, testing::ValuesIn(kAccepted),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct RejectRow {
    const char* name;
    std::string text;
    char mark;
};

const RejectRow kRejected[] = {
    {"exponent_without_mantissa", "E5", '.'},
    {"inner_blank", "1 2", '.'},
    {"comma_with_point_mark", "1,5", '.'},
    {"meter_reply_with_comma_mark", "+1.16040760E+03", ','},
    {"exponent_digit_past_500", "1E5000", '.'},
    {"negative_exponent_digit_past_500", "1E-5000", '.'},
    {"overflow", "1E4999", '.'},
    {"overflow_just_above_largest", "1.19E4932", '.'},
    {"two_signs", "++1", '.'},
    {"empty", "", '.'},
    {"blanks_only", "   ", '.'},
    {"sign_only", "-", '.'},
    {"tab_before", "\t1", '.'},
    {"tab_after", "1\t", '.'},
    {"trailing_letter", "1e5x", '.'},
    {"two_marks", "1.2.3", '.'},
    {"exponent_two_signs", "1E--5", '.'},
    {"hex", "0x10", '.'},
    {"infinity_word", "INF", '.'},
    {"nan_word", "nan", '.'},
    {"high_byte", "1\xB0", '.'},
    {"embedded_nul", std::string("1\0", 2), '.'},
    {"accumulation_overflows", std::string(5000, '9') + ".5E-4999", '.'},
};

class ParseRealRejects : public testing::TestWithParam<RejectRow> {};

TEST_P(ParseRealRejects, QuotesTextInMessage) {
    const RejectRow& row = GetParam();
    try {
        ParseReal(row.text, row.mark);
        ADD_FAILURE() << "accepted";
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.message(), "'" + row.text + "' is not a valid floating point value");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ParseRealRejects, testing::ValuesIn(kRejected),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(ParseReal, EmptyTextMessageHasNothingBetweenApostrophes) {
    try {
        ParseReal("", '.');
        FAIL() << "accepted";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid floating point value");
    }
}

TEST(ParseReal, TinyValuesBecomeDenormals) {
    const long double value = ParseReal("1E-4940", '.');
    EXPECT_GT(value, 0.0L);
    EXPECT_LT(value, std::numeric_limits<long double>::min());
}

TEST(ParseReal, RegionalOverloadUsesRegionalMark) {
    const RegionalSettings saved = CurrentRegionalSettings();
    RegionalSettings comma = saved;
    comma.decimalMark = ',';
    SetRegionalSettings(comma);
    EXPECT_EQ(ParseReal("1,5"), 1.5L);
    EXPECT_THROW(ParseReal("1.5"), EConvertError);
    SetRegionalSettings(saved);
    EXPECT_EQ(ParseReal("1.5"), 1.5L);
}

TEST(ParseReal, IgnoresGlobalLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed (scripts/setup generates it)";
    }
    EXPECT_EQ(ParseReal("1.5", '.'), 1.5L);
    EXPECT_EQ(FormatReal(1.5L, '.'), "1.5");
    std::setlocale(LC_ALL, saved.c_str());
}

} // namespace
} // namespace velmora

namespace velmora {
namespace {

TEST(ParseSettingsNumber, AFiniteNumberOrNothingNeverAnException) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"1.5", 1.5},          {" -2E3 ", -2000.0},     {"1,5", std::nullopt},
        {"abc", std::nullopt}, {"1E999", std::nullopt}, {"", std::nullopt},
    };
    for (const auto& [text, value] : cases) {
        EXPECT_EQ(ParseSettingsNumber(text), value) << text;
    }
    EXPECT_EQ(ParseSettingsNumber("1,5", ','), 1.5);
}

} // namespace
} // namespace velmora
