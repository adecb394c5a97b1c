// Writes to the settings file: exact bytes of created, replaced and appended lines.
#include "settings/ini_file.h"

#include "settings/ini_file_exception.h"
#include "settings/ini_text.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora {
namespace {

using test::TempFolder;

TEST(IniFileWrite, FileCreatedFromNothingHoldsExactlyTheDefaults) {
    TempFolder folder;
    const std::string path = folder / "velmora.ini";
    {
        IniFile ini(path);
        ASSERT_FALSE(ini.hasSection("COM Info"));
        ini.writeValue("COM Info", "Port", "com1");
        ini.writeValue("COM Info", "baudrate", "9600");
    }
    EXPECT_EQ(test::ReadBytes(path), "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n");
}

struct WriteRow {
    const char* name;
    std::optional<std::string> before; // nothing: no file yet
    const char* section;
    const char* key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteRow& row, std::ostream* out) {
    *out << row.name;
}

const WriteRow kWriteRows[] = {
    {"replace_in_place_rest_untouched",
     "; top\r\n[A]\r\nx=1\r\n\r\n[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n[B]\r\ny=2\r\n",
     "COM Info", "Port", "com7",
     "; top\r\n[A]\r\nx=1\r\n\r\n[COM Info]\r\nPort=com7\r\nbaudrate=9600\r\n[B]\r\ny=2\r\n"},
    {"replace_keeps_case_and_spacing", "[com info]\r\n  PORT = com1 \r\n", "COM Info", "Port",
     "com7", "[com info]\r\n  PORT = com7\r\n"},
    {"replace_keeps_lf_line_end", "[A]\nk=1\nz=2\n", "A", "k", "2", "[A]\nk=2\nz=2\n"},
    {"replace_last_line_without_end", "[A]\r\nk=1", "A", "k", "22", "[A]\r\nk=22"},
    {"value_blanks_replace_old_blanks", "[A]\r\nk = 1\r\n", "A", "k", "  x", "[A]\r\nk =  x\r\n"},
    {"replace_empty_value", "[A]\r\nk=\r\n", "A", "k", "v", "[A]\r\nk=v\r\n"},
    {"replace_first_duplicate_key", "[A]\r\nk=1\r\nk=2\r\n", "A", "K", "9",
     "[A]\r\nk=9\r\nk=2\r\n"},
    {"value_written_untrimmed", "[A]\r\nk=1\r\n", "A", "k", " 'com1' ", "[A]\r\nk= 'com1' \r\n"},
    {"append_key_before_next_section", "[A]\r\na=1\r\n\r\n[B]\r\nb=1\r\n", "a", "c", "3",
     "[A]\r\na=1\r\nc=3\r\n\r\n[B]\r\nb=1\r\n"},
    {"append_key_before_trailing_comment", "[A]\r\na=1\r\n; about B\r\n[B]\r\n", "A", "c", "3",
     "[A]\r\na=1\r\nc=3\r\n; about B\r\n[B]\r\n"},
    {"append_key_to_section_without_keys", "[A]\r\n; c\r\n[B]\r\nk=1\r\n", "A", "k", "v",
     "[A]\r\nk=v\r\n; c\r\n[B]\r\nk=1\r\n"},
    {"append_key_to_first_duplicate_section", "[A]\r\nx=1\r\n[A]\r\nk=2\r\n", "A", "k", "3",
     "[A]\r\nx=1\r\nk=3\r\n[A]\r\nk=2\r\n"},
    {"append_key_in_lf_file_uses_crlf", "[A]\na=1\n", "A", "b", "2", "[A]\na=1\nb=2\r\n"},
    {"append_key_after_unterminated_line", "[A]\r\na=1", "A", "b", "2", "[A]\r\na=1\r\nb=2\r\n"},
    {"append_key_after_lone_cr", "[A]\r\na=1\r", "A", "b", "2", "[A]\r\na=1\rb=2\r\n"},
    {"append_key_in_cr_only_file_uses_crlf", "[A]\ra=1\r[B]\rc=3\r", "A", "b", "2",
     "[A]\ra=1\rb=2\r\n[B]\rc=3\r"},
    {"replace_in_cr_only_file", "[A]\ra=1\rb=2\r", "A", "b", "5", "[A]\ra=1\rb=5\r"},
    {"byte_order_mark_stays", "\xEF\xBB\xBF[A]\r\na=1\r\n", "A", "a", "2",
     "\xEF\xBB\xBF[A]\r\na=2\r\n"},
    {"section_after_a_lone_byte_order_mark", "\xEF\xBB\xBF", "B", "k", "v",
     "\xEF\xBB\xBF[B]\r\nk=v\r\n"},
    {"append_section_at_end", "[A]\r\na=1\r\n", "B", "k", "v", "[A]\r\na=1\r\n[B]\r\nk=v\r\n"},
    {"append_section_after_unterminated_line", "; x", "B", "k", "v", "; x\r\n[B]\r\nk=v\r\n"},
    {"append_section_after_keyless_lines", "k=1\r\n[A\r\n", "A", "k", "v",
     "k=1\r\n[A\r\n[A]\r\nk=v\r\n"},
    {"empty_file", "", "A", "k", "v", "[A]\r\nk=v\r\n"},
    {"no_file", std::nullopt, "A", "k", "", "[A]\r\nk=\r\n"},
    {"eight_bit_passes_through", "\xA7 \xFF\r\n[\xC4]\r\nk=\xB5\r\n", "\xC4", "k", "\xE9\x80",
     "\xA7 \xFF\r\n[\xC4]\r\nk=\xE9\x80\r\n"},
};

class WriteValue : public testing::TestWithParam<WriteRow> {};

TEST_P(WriteValue, ChangesOnlyItsOwnLine) {
    const WriteRow& row = GetParam();
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    if (row.before) {
        test::WriteBytes(path, *row.before);
    }
    IniFile ini(path);
    ini.writeValue(row.section, row.key, row.value);
    EXPECT_EQ(test::ReadBytes(path), row.after);
    EXPECT_EQ(ini.readValue(row.section, row.key, "<default>"), IniValueAsRead(row.value));
}

INSTANTIATE_TEST_SUITE_P(Rows, WriteValue, testing::ValuesIn(kWriteRows), test::RowName());

// Names or values that could not be stored as one line that reads back as written are
// refused before the file is touched.
TEST(IniFileWrite, RefusesWhatCannotReadBack) {
    struct Row {
        const char* name;
        std::string section, key, value;
    };
    const Row rows[] = {
        {"cr_in_value", "A", "k", "a\rb"},
        {"lf_in_value", "A", "k", "a\n[B]"},
        {"nul_in_value", "A", "k", std::string("a\0b", 3)},
        {"empty_section", "", "k", "v"},
        {"bracket_in_section", "A]", "k", "v"},
        {"blank_around_section", " A", "k", "v"},
        {"lf_in_section", "A\nB", "k", "v"},
        {"empty_key", "A", "", "v"},
        {"equals_in_key", "A", "k=x", "v"},
        {"comment_key", "A", ";k", "v"},
        {"bracket_key", "A", "[k", "v"},
        {"blank_around_key", "A", "k\t", "v"},
    };
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    const std::string before = "[A]\r\nk=1\r\n";
    test::WriteBytes(path, before);
    IniFile ini(path);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        try {
            ini.writeValue(row.section, row.key, row.value);
            ADD_FAILURE() << "no exception";
        } catch (const EIniFileException& error) {
            EXPECT_EQ(error.message(), "Unable to write to " + path);
        }
        EXPECT_EQ(test::ReadBytes(path), before);
    }
}

// What is written reads back as the reader sees it: blanks and quotes are the
// reader's business, everything else survives unchanged.
TEST(IniFileWrite, ValuesReadBack) {
    const std::string values[] = {
        "",
        "com1",
        "  com1  ",
        "\"com1\"",
        "' x '",
        "\"x'",
        "=;[]",
        "\t",
        "\x01\x7F\xFF",
        std::string(2047, 'v'),
        std::string(5000, 'w'),
    };
    TempFolder folder;
    IniFile ini(folder / "settings.ini");
    for (const std::string& value : values) {
        SCOPED_TRACE(value.substr(0, 20));
        ini.writeValue("COM Info", "Port", value);
        ini.writeValue("Other", "k", "x" + value);
        EXPECT_EQ(ini.readValue("COM Info", "Port", "<default>"), IniValueAsRead(value));
        EXPECT_EQ(ini.readValue("Other", "k", "<default>"), IniValueAsRead("x" + value));
    }
    EXPECT_EQ(IniValueAsRead(" ' x ' "), " x ");
    EXPECT_EQ(IniValueAsRead(std::string(5000, 'w')).size(), kIniMaxValueLength);
}

} // namespace
} // namespace velmora
