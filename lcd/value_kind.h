// TiValueKind: the byte that introduces each value of a stored property stream.
#pragma once

#include <cstdint>

namespace velmora {

// Only the kinds the display's stream uses; the numbers are the stored bytes.
enum class TiValueKind : std::uint8_t {
    vaNull = 0,        // also the list-end marker
    vaList = 1,        // list-begin marker of a collection item
    vaString = 6,      // text of up to 255 bytes: length byte, bytes
    vaLString = 12,    // longer text: 32-bit little-endian length, bytes
    vaCollection = 14, // a collection of items
};

} // namespace velmora
