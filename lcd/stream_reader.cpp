// TiReader: bounds-checked decoding of markers, names and text values.
#include "lcd/stream_reader.h"

#include "lcd/read_error.h"

#include <cstdint>

namespace velmora {

std::uint8_t TiReader::ReadByte() {
    if (pos_ >= bytes_.size()) {
        throw EReadError("Stream read error");
    }
    return static_cast<std::uint8_t>(bytes_[pos_++]);
}

std::string_view TiReader::ReadBytes(std::size_t count) {
    if (count > bytes_.size() - pos_) {
        throw EReadError("Stream read error");
    }
    const std::string_view part = bytes_.substr(pos_, count);
    pos_ += count;
    return part;
}

TiValueKind TiReader::ReadValueKind() {
    return static_cast<TiValueKind>(ReadByte());
}

bool TiReader::EndOfList() const {
    if (pos_ >= bytes_.size()) {
        // A truncated stream must not look like a finished list.
        throw EReadError("Stream read error");
    }
    return static_cast<std::uint8_t>(bytes_[pos_]) == 0;
}

void TiReader::ReadListBegin() {
    if (ReadValueKind() != TiValueKind::vaList) {
        throw EReadError("Invalid stream format");
    }
}

void TiReader::ReadListEnd() {
    if (ReadValueKind() != TiValueKind::vaNull) {
        throw EReadError("Invalid stream format");
    }
}

std::string TiReader::ReadPropertyName() {
    const std::uint8_t length = ReadByte();
    return std::string(ReadBytes(length));
}

std::string TiReader::ReadString() {
    const TiValueKind kind = ReadValueKind();
    std::size_t length = 0;
    if (kind == TiValueKind::vaString) {
        length = ReadByte();
    } else if (kind == TiValueKind::vaLString) {
        std::uint32_t value = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            value |= static_cast<std::uint32_t>(ReadByte()) << shift;
        }
        length = value;
    } else {
        throw EReadError("Invalid property value");
    }
    return std::string(ReadBytes(length));
}

} // namespace velmora
