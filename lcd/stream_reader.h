// TiReader: reads the markers and values of a stored property stream from bytes.
#pragma once

#include "lcd/value_kind.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Every read past the end or of an unexpected marker raises EReadError; the
// bytes are not copied, so they must outlive the reader.
class TiReader {
public:
    explicit TiReader(std::string_view bytes)
        : bytes_(bytes) {}

    TiValueKind ReadValueKind();
    // True when the next byte is the list-end marker; consumes nothing.
    bool EndOfList() const;
    void ReadListBegin();
    void ReadListEnd();
    std::string ReadPropertyName();
    // A text value of kind 6 or 12.
    std::string ReadString();

    std::size_t Position() const { return pos_; }
    bool AtEnd() const { return pos_ >= bytes_.size(); }

private:
    std::uint8_t ReadByte();
    std::string_view ReadBytes(std::size_t count);

    std::string_view bytes_;
    std::size_t pos_ = 0;
};

} // namespace velmora
