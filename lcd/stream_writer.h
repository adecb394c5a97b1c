// TiWriter: appends the markers and values of a stored property stream to a byte string.
#pragma once

#include "lcd/value_kind.h"

#include <string>
#include <string_view>

namespace velmora {

class TiWriter {
public:
    explicit TiWriter(std::string& out)
        : out_(out) {}

    void WriteValueKind(TiValueKind kind);
    void WriteListBegin() { WriteValueKind(TiValueKind::vaList); }
    void WriteListEnd() { WriteValueKind(TiValueKind::vaNull); }
    // A property name: length byte and the characters (names are short).
    void WritePropertyName(std::string_view name);
    // A text value: kind 6 with a length byte up to 255 bytes, else kind 12
    // with a 32-bit length, so a long text is never cut.
    void WriteString(std::string_view text);

private:
    std::string& out_;
};

} // namespace velmora
