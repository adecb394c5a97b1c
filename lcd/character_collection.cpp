// Writer and reader of the "Characters" collection.
#include "lcd/character_collection.h"

#include "lcd/list_error.h"
#include "lcd/read_error.h"
#include "lcd/stream_reader.h"
#include "lcd/stream_writer.h"

#include <cstddef>
#include <string>

namespace velmora {

namespace {

constexpr std::size_t kStoredItems = 255; // pattern 255 keeps its built-in form

} // namespace

void WriteCharacterCollection(TiWriter& writer, const TiCharacterPatterns& patterns) {
    writer.WriteValueKind(TiValueKind::vaCollection);
    for (std::size_t code = 0; code < kStoredItems; ++code) {
        writer.WriteListBegin();
        writer.WritePropertyName("Data");
        writer.WriteString(patterns[code].Data());
        writer.WriteListEnd();
    }
    writer.WriteListEnd();
}

void ReadCharacterCollection(TiReader& reader, TiCharacterPatterns& patterns) {
    if (reader.ReadValueKind() != TiValueKind::vaCollection) {
        return;
    }
    std::size_t index = 0;
    while (!reader.EndOfList()) {
        if (index >= patterns.size()) {
            throw EListError::OutOfBounds(static_cast<long long>(index));
        }
        reader.ReadListBegin();
        while (!reader.EndOfList()) {
            const std::string name = reader.ReadPropertyName();
            if (name != "Data") {
                throw EReadError("Error reading TiLCDCharacter." + name +
                                 ": Property does not exist");
            }
            patterns[index].SetData(reader.ReadString());
        }
        reader.ReadListEnd();
        ++index;
    }
    reader.ReadListEnd();
}

} // namespace velmora
