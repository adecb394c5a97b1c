// The display check of the fault tests itself: it must catch what it is there to catch.
#include "tests/faults/display_check.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace velmora::test {
namespace {

using namespace std::string_literals;

struct DisplayCheckRow {
    const char* name;
    std::string chunk;
    DisplayTexts after;
    bool fault;
};

void PrintTo(const DisplayCheckRow& row, std::ostream* out) {
    *out << row.name;
}

const DisplayTexts kBefore{"1.5", "        V DC"};

const DisplayCheckRow kRows[] = {
    {"reading_with_prefix", "+1.16040760E+03\r\n", {"1.1604076", "        KOHM"}, false},
    {"reading_without_prefix", "+1.00000000E+02\r\n", {"100", "        V DC"}, false},
    {"reading_before_unit_is_known", "+1.23000000E-02\r\n", {"12.3", "        m"}, false},
    {"overload", "-9.90000000E+37\r\n", {"999999999", "        MOHM"}, false},
    {"reading_up_to_a_zero_byte",
     "+1.2\0"
     "5E+00\r\n"s,
     {"1.2", "        A AC"},
     false},
    {"wrong_prefix", "+1.16040760E+03\r\n", {"1160.4076", "        OHM"}, true},
    {"wrong_value", "+1.16040760E+03\r\n", {"1.1604077", "        KOHM"}, true},
    {"unknown_unit", "+1.16040760E+03\r\n", {"1.1604076", "        KVOLT"}, true},
    {"missing_indent", "+1.16040760E+03\r\n", {"1.1604076", "KOHM"}, true},
    {"junk_left_alone", "junk\r\n", kBefore, false},
    {"junk_shown", "junk\r\n", {"junk", "        V DC"}, true},
    {"function_name_shown", "\"RES\"\r\n", {"1.5", "        OHM"}, true},
    {"empty_reply_shown", "\r\n", {"0", "        V DC"}, true},
};

class DisplayCheck : public testing::TestWithParam<DisplayCheckRow> {};

TEST_P(DisplayCheck, FindsTheFaultsItIsMeantFor) {
    const DisplayCheckRow& row = GetParam();
    EXPECT_EQ(DisplayFault(row.chunk, kBefore, row.after).empty(), !row.fault)
        << DisplayFault(row.chunk, kBefore, row.after);
}

INSTANTIATE_TEST_SUITE_P(Rows, DisplayCheck, testing::ValuesIn(kRows),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora::test
