// Tests of the stored "Characters" collection: exact bytes, round trips and every error.
#include "lcd/character_collection.h"
#include "lcd/lcd_matrix.h"
#include "lcd/list_error.h"
#include "lcd/main_window_display.h"
#include "lcd/read_error.h"
#include "lcd/stream_reader.h"
#include "lcd/stream_writer.h"
#include "text/convert_error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora {
namespace {

// One collection item: list begin, the property name "Data", its text, list end.
// Texts up to 255 bytes are kind 6 with a length byte; longer ones kind 12
// with a 32-bit little-endian length.
std::string Item(const std::string& data) {
    std::string item = "\x01\x04"
                       "Data";
    if (data.size() <= 255) {
        item.push_back('\x06');
        item.push_back(static_cast<char>(data.size()));
    } else {
        item.push_back('\x0c');
        for (int shift = 0; shift < 32; shift += 8) {
            item.push_back(static_cast<char>((data.size() >> shift) & 0xFF));
        }
    }
    return item + data + std::string(1, '\0');
}

std::string Collection(const std::vector<std::string>& datas) {
    std::string bytes = "\x0e";
    for (const std::string& data : datas) {
        bytes += Item(data);
    }
    return bytes + std::string(1, '\0');
}

std::string Written(const TiLCDMatrix& display) {
    std::string bytes;
    TiWriter writer(bytes);
    display.WriteCharacters(writer);
    return bytes;
}

TEST(CharacterCollection, MainWindowSetHasTheDocumentedBytes) {
    TiLCDMatrix display;
    ConfigureAsMainWindowDisplay(display);
    std::vector<std::string> datas;
    for (int code = 0; code < 255; ++code) {
        datas.push_back(display.Pattern(code).Data());
    }
    const std::string bytes = Written(display);
    EXPECT_EQ(bytes, Collection(datas));

    // Item 0 is blank: 24 zeros, 47 characters.
    std::string blank = "0";
    for (int i = 1; i < 24; ++i) {
        blank += ",0";
    }
    ASSERT_EQ(blank.size(), 47u);
    EXPECT_EQ(bytes.substr(1, Item(blank).size()), Item(blank));
    EXPECT_EQ(datas['0'], "14,17,19,21,25,17,14,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0");
    EXPECT_EQ(static_cast<unsigned char>(bytes.back()), 0u);
}

TEST(CharacterCollection, RoundTripLeavesPattern255Alone) {
    TiLCDMatrix source;
    TiLCDMatrix target;
    for (TiLCDMatrix* display : {&source, &target}) {
        display->SetCharactersetHeight(9);
    }
    for (int code = 0; code < 256; ++code) {
        for (int row = 0; row < 9; ++row) {
            source.Pattern(code).SetRow(row, (code * 131 + row * 7919) * (row % 2 ? -1 : 1));
        }
    }
    target.Pattern(255).SetRow(0, 12345);
    const TiLCDCharacter before255 = target.Pattern(255);

    const std::string bytes = Written(source);
    TiReader reader(bytes);
    target.ReadCharacters(reader);
    EXPECT_TRUE(reader.AtEnd());
    for (int code = 0; code < 255; ++code) {
        EXPECT_EQ(target.Pattern(code), source.Pattern(code)) << code;
    }
    EXPECT_EQ(target.Pattern(255), before255);
}

TEST(CharacterCollection, LongTextsAreNotCut) {
    TiLCDMatrix source;
    source.SetCharactersetHeight(24);
    for (int row = 0; row < 24; ++row) {
        source.Pattern(7).SetRow(row, -2147483647 - 1);
    }
    ASSERT_GT(source.Pattern(7).Data().size(), 255u);
    TiLCDMatrix target;
    target.SetCharactersetHeight(24);
    const std::string bytes = Written(source);
    std::vector<std::string> datas;
    for (int code = 0; code < 255; ++code) {
        datas.push_back(source.Pattern(code).Data());
    }
    EXPECT_EQ(bytes, Collection(datas)) << "the long text stored as a long string";
    TiReader reader(bytes);
    target.ReadCharacters(reader);
    EXPECT_EQ(target.Pattern(7), source.Pattern(7));
}

TEST(StreamWriter, PropertyNamesTakeOneTo255BytesAfterTheirLength) {
    struct Row {
        size_t length;
        bool written;
    };
    for (const Row& row : {Row{0, false}, Row{1, true}, Row{255, true}, Row{256, false}}) {
        SCOPED_TRACE(row.length);
        const std::string name(row.length, 'n');
        std::string bytes;
        TiWriter writer(bytes);
        if (!row.written) {
            EXPECT_THROW(writer.WritePropertyName(name), std::invalid_argument);
            EXPECT_TRUE(bytes.empty());
            continue;
        }
        writer.WritePropertyName(name);
        ASSERT_EQ(bytes.size(), row.length + 1);
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), row.length);
        TiReader reader(bytes);
        EXPECT_EQ(reader.ReadPropertyName(), name);
    }
}

TEST(CharacterCollection, ItemsAreCutToTheCurrentRowCount) {
    TiLCDMatrix display; // 7 rows
    TiCharacterPatterns patterns = display.Patterns();
    const std::string bytes = Collection({"1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,"
                                          "22,23,24"});
    TiReader reader(bytes);
    ReadCharacterCollection(reader, patterns);
    EXPECT_EQ(patterns[0].Rows(), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(patterns[1], display.Pattern(1));
}

TEST(CharacterCollection, FewerItemsLeaveTheOthers) {
    TiLCDMatrix display;
    TiCharacterPatterns patterns = display.Patterns();
    const std::string bytes = Collection({"1", "2", "3"});
    TiReader reader(bytes);
    ReadCharacterCollection(reader, patterns);
    for (int code = 0; code < 3; ++code) {
        EXPECT_EQ(patterns[static_cast<std::size_t>(code)].Row(0), code + 1);
        EXPECT_EQ(patterns[static_cast<std::size_t>(code)].Row(1), 0);
    }
    for (int code = 3; code < 256; ++code) {
        EXPECT_EQ(patterns[static_cast<std::size_t>(code)], display.Pattern(code)) << code;
    }
}

TEST(CharacterCollection, OtherValueKindIsLeftUnread) {
    TiLCDMatrix display;
    TiCharacterPatterns patterns = display.Patterns();
    const std::string bytes = std::string("\x06\x01") + "5";
    TiReader reader(bytes);
    ReadCharacterCollection(reader, patterns);
    EXPECT_EQ(reader.Position(), 1u);
    EXPECT_EQ(patterns, display.Patterns());
}

TEST(CharacterCollection, A257thItemIsOutOfBounds) {
    TiLCDMatrix display;
    TiCharacterPatterns patterns = display.Patterns();
    std::vector<std::string> datas;
    for (int i = 0; i < 257; ++i) {
        datas.push_back(std::to_string(i + 1));
    }
    const std::string bytes = Collection(datas);
    TiReader reader(bytes);
    try {
        ReadCharacterCollection(reader, patterns);
        ADD_FAILURE() << "no EListError";
    } catch (const EListError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (256)");
    }
    EXPECT_EQ(patterns[255].Row(0), 256);
}

struct BadStreamCase {
    const char* name;
    std::string bytes;
    bool convertError; // EConvertError rather than EReadError
    const char* message;
    friend void PrintTo(const BadStreamCase& row, std::ostream* os) { *os << row.name; }
};

class CharacterCollectionBadStream : public ::testing::TestWithParam<BadStreamCase> {};

TEST_P(CharacterCollectionBadStream, StopsWithAnErrorAfterTheGoodItems) {
    const BadStreamCase& row = GetParam();
    TiLCDMatrix display;
    TiCharacterPatterns patterns = display.Patterns();
    TiReader reader(row.bytes);
    try {
        ReadCharacterCollection(reader, patterns);
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& error) {
        EXPECT_TRUE(row.convertError);
        EXPECT_STREQ(error.what(), row.message);
    } catch (const EReadError& error) {
        EXPECT_FALSE(row.convertError);
        EXPECT_STREQ(error.what(), row.message);
    }
    // Item 0 ("9") always comes before the fault and has been applied.
    EXPECT_EQ(patterns[0].Row(0), 9);
}

std::string Without(std::string bytes, std::size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CharacterCollectionBadStream,
    ::testing::Values(BadStreamCase{"bad_token", Collection({"9", "1,x,3"}), true,
                                    "'x' is not a valid integer value"},
                      BadStreamCase{"truncated_item", Without(Collection({"9", "1,2"}), 3), false,
                                    "Stream read error"},
                      BadStreamCase{"missing_collection_end", Without(Collection({"9"}), 1), false,
                                    "Stream read error"},
                      BadStreamCase{"unknown_property",
                                    Collection({"9"}).substr(0, 1 + Item("9").size()) +
                                        "\x01\x04"
                                        "Font\x06\x01x" +
                                        std::string(2, '\0'),
                                    false,
                                    "Error reading TiLCDCharacter.Font: Property does not exist"},
                      BadStreamCase{"data_not_a_text",
                                    Collection({"9"}).substr(0, 1 + Item("9").size()) + "\x01\x04" +
                                        "Data\x02\x05" + std::string(2, '\0'),
                                    false, "Invalid property value"},
                      BadStreamCase{"item_without_list_begin",
                                    Collection({"9"}).substr(0, 1 + Item("9").size()) + "\x07" +
                                        std::string(1, '\0'),
                                    false, "Invalid stream format"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

} // namespace
} // namespace velmora
