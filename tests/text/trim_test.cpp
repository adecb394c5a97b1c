// TrimBlanks: bytes 0..32 go at both ends, everything else stays.
#include "text/trim.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(TrimBlanks, Table) {
    const struct {
        const char* name;
        std::string text;
        std::string expected;
    } rows[] = {
        {"reply_with_cr_lf", "+1.16040760E+03\r\n", "+1.16040760E+03"},
        {"blanks_and_controls_only", "\t \r\n\x01 ", ""},
        {"empty", "", ""},
        {"nul_bytes", std::string("\0abc\0", 5), "abc"},
        {"inner_blank_kept", " a b ", "a b"},
        {"high_bytes_kept", "\xA0x\xFF", "\xA0x\xFF"},
        {"delete_kept", " \x7F ", "\x7F"},
        {"exclamation_kept", "\x20\x21", "!"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(TrimBlanks(row.text), row.expected);
    }
}

} // namespace
} // namespace velmora
