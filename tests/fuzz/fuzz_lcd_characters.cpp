// libFuzzer target: the "Characters" reader and a pattern's Data text on arbitrary bytes.
//
// The first byte picks the row count every pattern has (0 to 31), the rest is
// read as a stored "Characters" value into the 256 default patterns. Checked:
// - only the documented errors come out (EReadError, EListError, EConvertError);
// - no pattern ever changes its row count;
// - EListError comes only for a 257th item, with its fixed message;
// - a read that succeeds has consumed a well-formed collection: writing the
//   patterns it filled back out and reading that gives the same patterns;
// - the same bytes as a Data text store into one pattern the tokens a
//   plain split gives, stop at the first bad one, and read back as written.
#include "lcd/character_collection.h"
#include "lcd/list_error.h"
#include "lcd/read_error.h"
#include "lcd/stream_reader.h"
#include "lcd/stream_writer.h"
#include "text/convert_error.h"
#include "text/integer_conversion.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using velmora::TiCharacterPatterns;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

TiCharacterPatterns DefaultPatterns(int rows) {
    TiCharacterPatterns patterns;
    for (int code = 0; code < 256; ++code) {
        patterns[static_cast<std::size_t>(code)].LoadDefaultPattern(code);
        patterns[static_cast<std::size_t>(code)].SetRowCount(rows);
    }
    return patterns;
}

void CheckRowCounts(const TiCharacterPatterns& patterns, int rows) {
    for (const auto& pattern : patterns) {
        Require(pattern.RowCount() == rows);
    }
}

// The number of items of a collection that has been read without error.
std::size_t ItemCount(std::string_view bytes) {
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (byte(0) != 14) {
        return 0; // not a collection: left unread
    }
    std::size_t at = 1;
    std::size_t items = 0;
    while (byte(at) != 0) {
        ++at; // list begin
        while (byte(at) != 0) {
            at += 1 + byte(at); // the property name
            if (byte(at) == 6) {
                at += 2 + byte(at + 1);
            } else {
                std::uint32_t length = 0;
                std::memcpy(&length, bytes.data() + at + 1, 4);
                at += 5 + length;
            }
        }
        ++at; // list end
        ++items;
    }
    return items;
}

void CheckCollection(std::string_view bytes, int rows) {
    TiCharacterPatterns patterns = DefaultPatterns(rows);
    velmora::TiReader reader(bytes);
    bool completed = false;
    try {
        velmora::ReadCharacterCollection(reader, patterns);
        completed = true;
    } catch (const velmora::EListError& error) {
        Require(std::strcmp(error.what(), "List index out of bounds (256)") == 0);
    } catch (const velmora::EReadError&) {
    } catch (const velmora::EConvertError&) {
    }
    CheckRowCounts(patterns, rows);
    if (!completed) {
        return;
    }

    // Write the items that were read back out and read them again.
    const std::size_t items = ItemCount(bytes);
    std::string written;
    velmora::TiWriter writer(written);
    writer.WriteValueKind(velmora::TiValueKind::vaCollection);
    for (std::size_t code = 0; code < items; ++code) {
        writer.WriteListBegin();
        writer.WritePropertyName("Data");
        writer.WriteString(patterns[code].Data());
        writer.WriteListEnd();
    }
    writer.WriteListEnd();
    TiCharacterPatterns again = DefaultPatterns(rows);
    velmora::TiReader rereader(written);
    velmora::ReadCharacterCollection(rereader, again); // must not throw
    Require(rereader.AtEnd());
    for (std::size_t code = 0; code < items; ++code) {
        Require(again[code] == patterns[code]);
    }
}

std::optional<std::int32_t> Token(std::string_view token) {
    try {
        return velmora::ParseInteger(token);
    } catch (const velmora::EConvertError&) {
        return std::nullopt;
    }
}

void CheckData(std::string_view text, int rows) {
    velmora::TiLCDCharacter pattern;
    for (int row = 0; row < rows; ++row) {
        pattern.AddRow(-row - 1); // values no token can be confused with by accident
    }
    const std::vector<std::int32_t> before = pattern.Rows();

    // What a plain split says each row should become.
    std::vector<std::int32_t> expected = before;
    bool expectError = false;
    std::size_t start = 0;
    for (int row = 0; row < rows && start <= text.size(); ++row) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::optional<std::int32_t> value = Token(text.substr(start, end - start));
        if (!value) {
            expectError = true;
            break;
        }
        expected[static_cast<std::size_t>(row)] = *value;
        start = end + 1;
    }

    bool failed = false;
    try {
        pattern.SetData(text);
    } catch (const velmora::EConvertError&) {
        failed = true;
    }
    Require(failed == expectError);
    Require(pattern.Rows() == expected);

    velmora::TiLCDCharacter copy;
    copy.SetRowCount(rows);
    copy.SetData(pattern.Data());
    Require(copy == pattern);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const int rows = data[0] % 32;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    CheckCollection(bytes, rows);
    CheckData(bytes, rows);
    return 0;
}
