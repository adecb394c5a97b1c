// TiWriter: byte layout of markers, names and text values.
#include "lcd/stream_writer.h"

#include <cstdint>
#include <stdexcept>

namespace velmora {

void TiWriter::WriteValueKind(TiValueKind kind) {
    out_.push_back(static_cast<char>(kind));
}

void TiWriter::WritePropertyName(std::string_view name) {
    if (name.empty() || name.size() > 255) {
        throw std::invalid_argument("property name must be 1 to 255 bytes");
    }
    out_.push_back(static_cast<char>(name.size()));
    out_.append(name);
}

void TiWriter::WriteString(std::string_view text) {
    if (text.size() <= 255) {
        WriteValueKind(TiValueKind::vaString);
        out_.push_back(static_cast<char>(text.size()));
    } else {
        WriteValueKind(TiValueKind::vaLString);
        const auto length = static_cast<std::uint32_t>(text.size());
        for (int shift = 0; shift < 32; shift += 8) {
            out_.push_back(static_cast<char>((length >> shift) & 0xFFu));
        }
    }
    out_.append(text);
}

} // namespace velmora
