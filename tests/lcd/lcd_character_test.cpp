// Tests of TiLCDCharacter: rows, the Data text form, copying and the default table.
#include "lcd/default_patterns.h"
#include "lcd/lcd_character.h"
#include "lcd/list_error.h"
#include "tests/lcd/documented_patterns.h"
#include "text/convert_error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace velmora {
namespace {

using Rows = std::vector<std::int32_t>;

TiLCDCharacter WithRows(const Rows& rows) {
    TiLCDCharacter pattern;
    pattern.SetRows(rows);
    return pattern;
}

TEST(LcdCharacterData, ReadsSignedDecimalsJoinedByCommas) {
    EXPECT_EQ(WithRows({14, 17, 19, 21, 25, 17, 14}).Data(), "14,17,19,21,25,17,14");
    EXPECT_EQ(WithRows({}).Data(), "");
    EXPECT_EQ(WithRows({-2147483647 - 1, 0, 2147483647}).Data(), "-2147483648,0,2147483647");

    TiLCDCharacter zero;
    zero.LoadDefaultPattern('0');
    zero.SetRowCount(24);
    std::string expected = "14,17,19,21,25,17,14";
    for (int i = 0; i < 17; ++i) {
        expected += ",0";
    }
    EXPECT_EQ(zero.Data(), expected);
}

struct DataWriteCase {
    const char* name;
    std::string text;
    Rows expectedRows; // starting from 100..106
    const char* error; // expected message, or nullptr
    friend void PrintTo(const DataWriteCase& row, std::ostream* os) { *os << row.name; }
};

class LcdCharacterDataWrite : public ::testing::TestWithParam<DataWriteCase> {};

TEST_P(LcdCharacterDataWrite, StoresTokensIntoExistingRows) {
    const DataWriteCase& row = GetParam();
    TiLCDCharacter pattern = WithRows({100, 101, 102, 103, 104, 105, 106});
    if (row.error == nullptr) {
        EXPECT_NO_THROW(pattern.SetData(row.text));
    } else {
        try {
            pattern.SetData(row.text);
            ADD_FAILURE() << "no EConvertError";
        } catch (const EConvertError& error) {
            EXPECT_STREQ(error.what(), row.error);
        }
    }
    EXPECT_EQ(pattern.Rows(), row.expectedRows);
}

std::string Numbers(int first, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += (i ? "," : "") + std::to_string(first + i);
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LcdCharacterDataWrite,
    ::testing::Values(
        DataWriteCase{"fewer_tokens_keep_rest", "1,2", {1, 2, 102, 103, 104, 105, 106}, nullptr},
        DataWriteCase{"extra_tokens_ignored", Numbers(1, 24), {1, 2, 3, 4, 5, 6, 7}, nullptr},
        DataWriteCase{"negative_values",
                      "-1,-2147483648",
                      {-1, -2147483647 - 1, 102, 103, 104, 105, 106},
                      nullptr},
        DataWriteCase{"leading_blank_and_sign", " 5,+7", {5, 7, 102, 103, 104, 105, 106}, nullptr},
        DataWriteCase{
            "hex_prefixes", "$1F,x1f,X10,0x10,0XfF,-$10", {31, 31, 16, 16, 255, -16, 106}, nullptr},
        DataWriteCase{"empty_text_is_one_bad_token",
                      "",
                      {100, 101, 102, 103, 104, 105, 106},
                      "'' is not a valid integer value"},
        DataWriteCase{"empty_middle_token",
                      "1,,3",
                      {1, 101, 102, 103, 104, 105, 106},
                      "'' is not a valid integer value"},
        DataWriteCase{"trailing_separator",
                      "1,2,",
                      {1, 2, 102, 103, 104, 105, 106},
                      "'' is not a valid integer value"},
        DataWriteCase{"trailing_blank",
                      "1,5 ",
                      {1, 101, 102, 103, 104, 105, 106},
                      "'5 ' is not a valid integer value"},
        DataWriteCase{"not_a_number",
                      "7,8,abc,4",
                      {7, 8, 102, 103, 104, 105, 106},
                      "'abc' is not a valid integer value"},
        DataWriteCase{"too_large",
                      "2147483648",
                      {100, 101, 102, 103, 104, 105, 106},
                      "'2147483648' is not a valid integer value"},
        DataWriteCase{"bare_hex_prefix",
                      "$",
                      {100, 101, 102, 103, 104, 105, 106},
                      "'$' is not a valid integer value"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(LcdCharacterData, WritingIntoNoRowsDoesNothing) {
    TiLCDCharacter pattern;
    EXPECT_NO_THROW(pattern.SetData(""));
    EXPECT_NO_THROW(pattern.SetData("1,2,3"));
    EXPECT_EQ(pattern.RowCount(), 0);
}

TEST(LcdCharacterData, RoundTripsEveryValue) {
    const Rows rows = {0, -1, 31, -2147483647 - 1, 2147483647, 65536, -99};
    TiLCDCharacter source = WithRows(rows);
    TiLCDCharacter target;
    target.SetRowCount(static_cast<int>(rows.size()));
    target.SetData(source.Data());
    EXPECT_EQ(target.Rows(), rows);
}

TEST(LcdCharacterRows, RowCountTrimsFromBottomAndPadsWithZeros) {
    TiLCDCharacter pattern = WithRows({1, 2, 3});
    pattern.SetRowCount(3);
    EXPECT_EQ(pattern.Rows(), (Rows{1, 2, 3}));
    pattern.SetRowCount(5);
    EXPECT_EQ(pattern.Rows(), (Rows{1, 2, 3, 0, 0}));
    pattern.SetRowCount(2);
    EXPECT_EQ(pattern.Rows(), (Rows{1, 2}));
    pattern.SetRowCount(-4);
    EXPECT_EQ(pattern.RowCount(), 0);
}

TEST(LcdCharacterRows, EditsAndChecksIndexes) {
    TiLCDCharacter pattern = WithRows({1, 2, 3});
    pattern.SetRow(1, -5);
    pattern.AddRow(9);
    pattern.DeleteRow(0);
    pattern.SetRows({7, 8});
    EXPECT_EQ(pattern.Rows(), (Rows{-5, 3, 9, 7, 8}));
    EXPECT_EQ(pattern.Row(4), 8);
    EXPECT_THROW(pattern.Row(5), EListError);
    EXPECT_THROW(pattern.SetRow(-1, 0), EListError);
    EXPECT_THROW(pattern.DeleteRow(5), EListError);
    try {
        pattern.Row(7);
    } catch (const EListError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (7)");
    }
    pattern.ClearRows();
    EXPECT_EQ(pattern.RowCount(), 0);
}

class TFont : public TPersistent {
public:
    std::string ClassName() const override { return "TFont"; }
};

TEST(LcdCharacterCopy, CopiesAnotherPatternWhateverTheRowCounts) {
    TiLCDCharacter target = WithRows({9, 9, 9, 9});
    target.CopyFrom(WithRows({1, 2}));
    EXPECT_EQ(target.Rows(), (Rows{1, 2}));
    target.CopyFrom(WithRows({4, 5, 6}));
    EXPECT_EQ(target.Rows(), (Rows{4, 5, 6}));
}

TEST(LcdCharacterCopy, RefusesOtherClassesAndStaysUnchanged) {
    TiLCDCharacter target = WithRows({9, 8});
    try {
        target.CopyFrom(TFont());
        ADD_FAILURE() << "no EConvertError";
    } catch (const EConvertError& error) {
        EXPECT_STREQ(error.what(), "Cannot assign a TFont to a TiLCDCharacter");
    }
    EXPECT_EQ(target.Rows(), (Rows{9, 8}));
}

TEST(DefaultPatterns, EveryCodeHasSevenRowsOfFiveCells) {
    std::set<int> nonBlank;
    std::set<Rows> shapes;
    for (int code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        TiLCDCharacter pattern = WithRows({1, 2, 3, 4, 5, 6, 7, 8, 9});
        pattern.LoadDefaultPattern(code);
        ASSERT_EQ(pattern.RowCount(), 7);
        bool blank = true;
        for (std::int32_t row : pattern.Rows()) {
            EXPECT_GE(row, 0);
            EXPECT_LE(row, 31);
            blank = blank && row == 0;
        }
        if (!blank) {
            nonBlank.insert(code);
            // Every character must be told apart from every other one.
            EXPECT_TRUE(shapes.insert(pattern.Rows()).second) << "shape used twice";
        }
    }
    std::set<int> expected;
    for (int code = 33; code <= 126; ++code) {
        expected.insert(code);
    }
    expected.insert(128);
    for (int code = 161; code <= 255; ++code) {
        expected.insert(code);
    }
    EXPECT_EQ(nonBlank, expected);
    EXPECT_EQ(nonBlank.size(), 190u);
}

TEST(DefaultPatterns, MatchTheWrittenTable) {
    // All 94 printable ASCII codes, the euro sign, the nine telling rows of
    // the upper range and every blank code, against the table in the test.
    int compared = 0;
    for (int code = 0; code < 256; ++code) {
        const std::optional<test::PatternRows> documented = test::DocumentedRows(code);
        if (!documented) {
            continue;
        }
        SCOPED_TRACE(code);
        TiLCDCharacter pattern;
        pattern.LoadDefaultPattern(code);
        EXPECT_EQ(pattern.Rows(), Rows(documented->begin(), documented->end()));
        ++compared;
    }
    EXPECT_EQ(compared, 94 + 1 + 9 + 33 + 1 + 32);
}

TEST(DefaultPatterns, AccentedSmallLettersAreTheirBaseLetterUnderTheAccent) {
    // Rows 0 and 1 hold the accent, rows 2 to 6 the letter as it is drawn
    // alone (the same five rows as the plain letter's).
    struct Accent {
        const char* name;
        int top;
        int second;
    };
    const Accent grave{"grave", 8, 4}, acute{"acute", 2, 4}, circumflex{"circumflex", 4, 10},
        tilde{"tilde", 13, 18}, diaeresis{"diaeresis", 10, 0}, ring{"ring", 14, 10};
    struct Row {
        int code;
        char base;
        Accent accent;
    };
    const Row rows[] = {
        {224, 'a', grave},      {225, 'a', acute},     {226, 'a', circumflex},
        {227, 'a', tilde},      {228, 'a', diaeresis}, {229, 'a', ring},
        {232, 'e', grave},      {233, 'e', acute},     {234, 'e', circumflex},
        {235, 'e', diaeresis},  {236, 'i', grave},     {237, 'i', acute},
        {238, 'i', circumflex}, {239, 'i', diaeresis}, {253, 'y', acute},
        {255, 'y', diaeresis},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.code << " " << row.base << " " << row.accent.name);
        const test::PatternRows base = test::DocumentedRows(row.base).value();
        const Rows expected{row.accent.top, row.accent.second, base[2], base[3],
                            base[4],        base[5],           base[6]};
        TiLCDCharacter pattern;
        pattern.LoadDefaultPattern(row.code);
        EXPECT_EQ(pattern.Rows(), expected);
    }
}

TEST(DefaultPatterns, CodesOutsideTheTableLeaveNoRows) {
    for (int code : {-1, 256, 1000}) {
        TiLCDCharacter pattern = WithRows({1});
        pattern.LoadDefaultPattern(code);
        EXPECT_EQ(pattern.RowCount(), 0) << code;
    }
}

} // namespace
} // namespace velmora
