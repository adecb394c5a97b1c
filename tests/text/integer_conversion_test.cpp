// ParseInteger and FormatInteger: prefixes, limits, rejected texts, round trip.
#include "text/convert_error.h"
#include "text/integer_conversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <string>

namespace velmora {
namespace {

struct IntegerRow {
    const char* name;
    std::string text;
    std::optional<int32_t> expected; // nullopt: rejected
};

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

const IntegerRow kRows[] = {
    {"leading_blank", " 42", 42},
    {"trailing_blank", "42 ", std::nullopt},
    {"dollar_hex", "$1F", 31},
    {"x_hex", "x1F", 31},
    {"capital_x_lower_digits", "X1f", 31},
    {"zero_x_hex", "0x1F", 31},
    {"zero_capital_x_hex", "0X1F", 31},
    {"negative_hex", "-$1F", -31},
    {"plus_hex", "+0x1F", 31},
    {"hex_all_ones_is_minus_one", "$FFFFFFFF", -1},
    {"hex_largest", "$7FFFFFFF", kMax},
    {"hex_sign_bit", "$80000000", kMin},
    {"negated_hex_sign_bit_wraps", "-$80000000", kMin},
    {"negated_hex_all_ones", "-$FFFFFFFF", 1},
    {"hex_leading_zeros", "$0000000001", 1},
    {"hex_nine_digits", "$100000000", std::nullopt},
    {"hex_prefix_only", "$", std::nullopt},
    {"zero_x_only", "0x", std::nullopt},
    {"hex_bad_digit", "$1G", std::nullopt},
    {"hex_signed_digits", "0x-1", std::nullopt},
    {"hex_blank_after_prefix", "$ 1", std::nullopt},
    {"smallest", "-2147483648", kMin},
    {"largest", "2147483647", kMax},
    {"plus_largest", "+2147483647", kMax},
    {"above_largest", "2147483648", std::nullopt},
    {"below_smallest", "-2147483649", std::nullopt},
    {"eleven_digits", "21474836470", std::nullopt},
    {"twenty_nines", "99999999999999999999", std::nullopt},
    {"leading_zeros", "00000000000000000012", 12},
    {"zero", "0", 0},
    {"negative_zero", "-0", 0},
    {"empty", "", std::nullopt},
    {"blanks_only", "   ", std::nullopt},
    {"sign_only", "+", std::nullopt},
    {"two_signs", "--1", std::nullopt},
    {"mixed_signs", "+-1", std::nullopt},
    {"inner_blank", "1 2", std::nullopt},
    {"tab", "\t1", std::nullopt},
    {"fraction", "1.0", std::nullopt},
    {"baud_rate", "115200", 115200},
};

class ParseIntegerTable : public testing::TestWithParam<IntegerRow> {};

TEST_P(ParseIntegerTable, ValueOrMessage) {
    const IntegerRow& row = GetParam();
    if (row.expected) {
        EXPECT_EQ(ParseInteger(row.text), *row.expected);
        return;
    }
    try {
        ParseInteger(row.text);
        ADD_FAILURE() << "accepted";
    } catch (const EConvertError& error) {
        EXPECT_EQ(error.message(), "'" + row.text + "' is not a valid integer value");
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ParseIntegerTable, testing::ValuesIn(kRows),
                         [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(FormatInteger, Table) {
    EXPECT_EQ(FormatInteger(int32_t{0}), "0");
    EXPECT_EQ(FormatInteger(int32_t{-42}), "-42");
    EXPECT_EQ(FormatInteger(kMin), "-2147483648");
    EXPECT_EQ(FormatInteger(kMax), "2147483647");
    // The baud rate is unsigned 32-bit, widened so it never shows a sign.
    EXPECT_EQ(FormatInteger(int64_t{uint32_t{4294967295u}}), "4294967295");
    EXPECT_EQ(FormatInteger(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
}

TEST(IntegerRoundTrip, RandomValuesSurvive) {
    std::mt19937 random(9600);
    for (int i = 0; i < 100000; ++i) {
        const auto value = static_cast<int32_t>(random());
        ASSERT_EQ(ParseInteger(FormatInteger(value)), value);
    }
}

} // namespace
} // namespace velmora
