// Reads of the settings file: name matching, blanks, quotes, cuts and missing pieces.
#include "settings/ini_file.h"

#include "settings/connection_settings.h"

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

using test::TempFolder;

constexpr const char* kDefault = "<default>";

struct ReadRow {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
};

void PrintTo(const ReadRow& row, std::ostream* out) {
    *out << row.name;
}

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

const ReadRow kReadRows[] = {
    {"plain", "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n", "COM Info", "baudrate", "9600"},
    {"section_case_folded", "[com INFO]\r\nPort=com1\r\n", "COM Info", "Port", "com1"},
    {"key_case_folded", "[COM Info]\r\nPORT=com1\r\n", "COM Info", "port", "com1"},
    {"blanks_around_value", "[A]\r\nPort=  com1  \r\n", "A", "Port", "com1"},
    {"tabs_around_value", "[A]\r\nPort=\tcom1\t\r\n", "A", "Port", "com1"},
    {"blanks_around_equals", "[A]\r\n  Port \t=  com1\r\n", "A", "Port", "com1"},
    {"blanks_in_brackets", "  [  COM Info\t]  \r\nPort=com1\r\n", "COM Info", "Port", "com1"},
    {"text_after_bracket", "[A] ; note\r\nk=v\r\n", "A", "k", "v"},
    {"double_quotes", "[A]\r\nk=\"com1\"\r\n", "A", "k", "com1"},
    {"single_quotes", "[A]\r\nk='com1'\r\n", "A", "k", "com1"},
    {"blanks_kept_inside_quotes", "[A]\r\nk= \" com1 \" \r\n", "A", "k", " com1 "},
    {"mismatched_quotes_kept", "[A]\r\nk=\"com1'\r\n", "A", "k", "\"com1'"},
    {"lone_quote_kept", "[A]\r\nk=\"\r\n", "A", "k", "\""},
    {"one_pair_only", "[A]\r\nk=''x''\r\n", "A", "k", "'x'"},
    {"empty_quotes", "[A]\r\nk=\"\"\r\n", "A", "k", ""},
    {"empty_value_is_not_default", "[A]\r\nk=\r\n", "A", "k", ""},
    {"equals_in_value", "[A]\r\nk=a=b\r\n", "A", "k", "a=b"},
    {"semicolon_in_value_kept", "[A]\r\nk=com1 ; x\r\n", "A", "k", "com1 ; x"},
    {"eight_bit_bytes", "[\xC4rger]\r\nk\xB5=\xE9t\xE9\xFF\r\n", "\xC4rger", "k\xB5",
     "\xE9t\xE9\xFF"},
    {"no_folding_above_ascii", "[\xC4]\r\nk=v\r\n", "\xE4", "k", kDefault},
    {"bare_lf_lines", "[A]\nk=v\nz=w\n", "A", "z", "w"},
    {"no_final_line_end", "[A]\r\nk=v", "A", "k", "v"},
    {"final_cr_without_lf", "[A]\r\nk=v\r", "A", "k", "v"},
    {"cr_only_lines", "[A]\rk=v\rz=w\r[B]\rz=x\r", "A", "z", "w"},
    {"cr_only_next_section", "[A]\rk=v\r[B]\rz=x", "B", "z", "x"},
    {"byte_order_mark_before_the_first_section", "\xEF\xBB\xBF[COM Info]\r\nPort=com2\r\n",
     "COM Info", "Port", "com2"},
    {"byte_order_mark_elsewhere_is_text", "[A]\r\n\xEF\xBB\xBF[B]\r\nk=v\r\n", "B", "k", kDefault},
    {"missing_key", "[A]\r\nk=v\r\n", "A", "x", kDefault},
    {"missing_section", "[A]\r\nk=v\r\n", "B", "k", kDefault},
    {"key_in_next_section_only", "[A]\r\nx=1\r\n[B]\r\nk=v\r\n", "A", "k", kDefault},
    {"key_before_any_section", "k=v\r\n[A]\r\nx=1\r\n", "A", "k", kDefault},
    {"section_name_prefix_no_match", "[COM Info2]\r\nk=v\r\n", "COM Info", "k", kDefault},
    {"duplicate_key_first_wins", "[A]\r\nk=1\r\nK=2\r\n", "A", "k", "1"},
    {"duplicate_section_first_wins", "[A]\r\nk=1\r\n[a]\r\nk=2\r\n", "A", "k", "1"},
    {"key_only_in_second_duplicate", "[A]\r\nx=1\r\n[A]\r\nk=2\r\n", "A", "k", kDefault},
    {"line_without_equals_no_key", "[A]\r\nk\r\n", "A", "k", kDefault},
    {"comment_no_key", "[A]\r\n;k=v\r\n  ; k=w\r\n", "A", "k", kDefault},
    {"hash_is_not_a_comment", "[A]\r\n#k=v\r\n", "A", "#k", "v"},
    {"unclosed_header_matches_nothing", "[A\r\nk=v\r\n", "A", "k", kDefault},
    {"unclosed_header_ends_section", "[A]\r\n[B\r\nk=v\r\n", "A", "k", kDefault},
    {"empty_names_match_nothing", "[]\r\n=v\r\n", "", "", kDefault},
    {"empty_file", "", "A", "k", kDefault},
    {"value_2047_kept", "[A]\r\nk=" + Repeat('x', 2047) + "\r\n", "A", "k", Repeat('x', 2047)},
    {"value_cut_at_2047", "[A]\r\nk=" + Repeat('x', 3000) + "y\r\n", "A", "k", Repeat('x', 2047)},
    {"quoted_long_value_cut", "[A]\r\nk=\"" + Repeat('x', 3000) + "\"\r\n", "A", "k",
     Repeat('x', 2047)},
};

class ReadValue : public testing::TestWithParam<ReadRow> {};

TEST_P(ReadValue, ReturnsValueAsStoredOrDefault) {
    const ReadRow& row = GetParam();
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    test::WriteBytes(path, row.content);
    const IniFile ini(path);
    EXPECT_EQ(ini.readValue(row.section, row.key, kDefault), row.expected);
    EXPECT_EQ(test::ReadBytes(path), row.content) << "a read changed the file";
}

INSTANTIATE_TEST_SUITE_P(Rows, ReadValue, testing::ValuesIn(kReadRows), test::RowName());

struct SectionRow {
    const char* name;
    std::optional<std::string> content; // nothing: no file at all
    const char* section;
    bool expected;
};

void PrintTo(const SectionRow& row, std::ostream* out) {
    *out << row.name;
}

const SectionRow kSectionRows[] = {
    {"missing_file", std::nullopt, "COM Info", false},
    {"empty_file", "", "COM Info", false},
    {"section_with_key", "[COM Info]\r\nPort=com1\r\n", "COM Info", true},
    {"other_case", "[com info]\r\nbaudrate=\r\n", "COM INFO", true},
    {"section_without_keys", "[COM Info]\r\n[B]\r\nk=v\r\n", "COM Info", false},
    {"only_comments_blanks_junk", "[A]\r\n; k=v\r\n\r\njunk\r\n=v\r\n", "A", false},
    {"first_duplicate_empty", "[A]\r\n[A]\r\nk=v\r\n", "A", false},
    {"key_before_header_not_counted", "k=v\r\n[A]\r\n", "A", false},
    {"missing_section", "[A]\r\nk=v\r\n", "B", false},
    {"empty_name", "[]\r\nk=v\r\n", "", false},
};

class HasSection : public testing::TestWithParam<SectionRow> {};

TEST_P(HasSection, TrueOnlyWithAKey) {
    const SectionRow& row = GetParam();
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    if (row.content) {
        test::WriteBytes(path, *row.content);
    }
    EXPECT_EQ(IniFile(path).hasSection(row.section), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, HasSection, testing::ValuesIn(kSectionRows), test::RowName());

TEST(IniFileRead, MissingOrUnreadablePathReadsAsEmpty) {
    TempFolder folder;
    for (const std::string& path : {folder / "none.ini", folder / "no/such/folder.ini",
                                    folder.path() /* a folder, not a file */}) {
        SCOPED_TRACE(path);
        const IniFile ini(path);
        EXPECT_EQ(ini.readValue("COM Info", "Port", "dflt"), "dflt");
        EXPECT_FALSE(ini.hasSection("COM Info"));
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "none.ini")) << "a read created the file";
}

// The object keeps no copy: edits made behind its back are what the next read sees.
TEST(IniFileRead, EveryReadGoesToTheFile) {
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    const IniFile ini(path);
    test::WriteBytes(path, "[A]\r\nk=1\r\n");
    EXPECT_EQ(ini.readValue("A", "k", ""), "1");
    test::WriteBytes(path, "[A]\r\nk=2\r\n");
    EXPECT_EQ(ini.readValue("A", "k", ""), "2");
    IniFile other(path);
    other.writeValue("A", "k", "3");
    EXPECT_EQ(ini.readValue("A", "k", ""), "3");
}

TEST(IniRead, AFileOfExactlyOneMebibyteStillReads) {
    // The limit is "larger than 1 MiB": a file that fills it is a settings file.
    test::TempFolder folder;
    const std::string head = "[COM Info]\r\nPort=big\r\n;";
    test::WriteBytes(folder / "full.ini", head + std::string((1 << 20) - head.size(), 'x'));
    const IniFile ini(folder / "full.ini");
    EXPECT_EQ(ini.readProblem(), std::nullopt);
    EXPECT_EQ(ini.readValue("COM Info", "Port", ""), "big");
}

TEST(ConnectionSettings, TheMetersNameIsItsOwnOrThePorts) {
    const struct {
        const char* file;
        const char* name;
    } rows[] = {
        {"[COM Info]\r\nPort=ttyUSB1\r\n", "ttyUSB1"},
        {"[Meter]\r\nName= Bench 3 \r\n", "Bench 3"},
        {"[Meter]\r\nName=\r\n", "ttyUSB1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        test::TempFolder folder;
        test::WriteBytes(folder / "v.ini", row.file);
        EXPECT_EQ(ReadMeterName(IniFile(folder / "v.ini"), "ttyUSB1"), row.name);
    }
}

} // namespace
} // namespace velmora
