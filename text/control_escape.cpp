// Making control characters visible.
#include "text/control_escape.h"

#include <cstdint>
#include <cstdio>

namespace velmora {

namespace {

void AppendHex(std::string& out, const char* format, unsigned value) {
    char code[8];
    std::snprintf(code, sizeof code, format, value);
    out += code;
}

// The length of the valid UTF-8 sequence at `text[i]` and its code point, or 0.
size_t Utf8Sequence(std::string_view text, size_t i, uint32_t* codePoint) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    uint32_t value = 0;
    uint32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1Fu, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0Fu, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) {
        return 0;
    }
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) {
            return 0;
        }
        value = (value << 6) | (byte(i + k) & 0x3Fu);
    }
    // Overlong forms, surrogates and code points past Unicode are not text.
    if (value < least || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) {
        return 0;
    }
    *codePoint = value;
    return length;
}

} // namespace

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            AppendHex(out, "\\x%02x", c);
            ++i;
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        uint32_t codePoint = 0;
        const size_t length = Utf8Sequence(text, i, &codePoint);
        if (length == 0) {
            AppendHex(out, "\\x%02x", c); // not text: a raw byte
            ++i;
        } else if (codePoint <= 0x9F) {
            AppendHex(out, "\\u%04x", codePoint); // a C1 control, well encoded
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}

} // namespace velmora
