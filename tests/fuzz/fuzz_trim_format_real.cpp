// libFuzzer target: TrimBlanks on arbitrary bytes, FormatReal on their first
// ten bytes taken as an extended-precision bit pattern.
//
// TrimBlanks must return the input less its outer bytes 0..32. FormatReal
// must cope with every pattern, the x87's invalid encodings included; for
// finite normal values its text must read back to a value with the same
// 15-digit text and within 15 significant digits. The bytes also serve as a
// time pattern, which FormatTimeOfDay must walk without fault.
#include "text/real_conversion.h"
#include "text/time_of_day.h"
#include "text/trim.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

void CheckTrim(std::string_view text) {
    const std::string trimmed = velmora::TrimBlanks(text);
    if (trimmed.empty()) {
        for (char c : text) {
            if (!IsBlank(c)) {
                std::abort();
            }
        }
        return;
    }
    if (IsBlank(trimmed.front()) || IsBlank(trimmed.back())) {
        std::abort();
    }
    const size_t at = text.find(trimmed);
    if (at == std::string_view::npos) {
        std::abort();
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if ((i < at || i >= at + trimmed.size()) && !IsBlank(text[i])) {
            std::abort();
        }
    }
}

void CheckFormat(const uint8_t* bits, char mark) {
    long double raw = 0;
    std::memcpy(&raw, bits, 10);
    (void)velmora::FormatReal(raw, mark); // any pattern, no crash

    // The same pattern with a consistent integer bit is a proper value.
    uint16_t signAndExponent = 0;
    std::memcpy(&signAndExponent, bits + 8, 2);
    const unsigned exponent = signAndExponent & 0x7fffu;
    uint64_t significand = 0;
    std::memcpy(&significand, bits, 8);
    significand =
        exponent == 0 ? significand & ~(uint64_t{1} << 63) : significand | (uint64_t{1} << 63);
    long double value = 0;
    std::memcpy(&value, &significand, 8);
    std::memcpy(reinterpret_cast<char*>(&value) + 8, &signAndExponent, 2);

    const std::string text = velmora::FormatReal(value, mark);
    if (exponent == 0) {
        if (text != "0") {
            std::abort();
        }
        return;
    }
    if (exponent == 0x7fffu) {
        if (text != "NAN" && text != "INF" && text != "-INF") {
            std::abort();
        }
        return;
    }
    if (exponent < 2) {
        return; // just above the smallest normal a rounded-down text reads back as a denormal
    }
    const long double parsed = velmora::ParseReal(text, mark); // throws on a fault
    if (std::fabs(parsed - value) > 5.01e-15L * std::fabs(value) ||
        velmora::FormatReal(parsed, mark) != text) {
        std::abort();
    }
}

void CheckTimePattern(std::string_view pattern) {
    velmora::RegionalSettings settings;
    settings.longTimePattern = std::string(pattern);
    (void)velmora::FormatTimeOfDay(velmora::MakeTimeOfDay(13, 5, 9, 7), settings);
    settings.timeMark = '\0';
    (void)velmora::FormatTimeOfDay(velmora::MakeTimeOfDay(0, 0, 0, 0), settings);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckTrim(std::string_view(reinterpret_cast<const char*>(data), size));
    CheckTimePattern(std::string_view(reinterpret_cast<const char*>(data), size));
    if (size >= 10) {
        CheckFormat(data, '.');
        CheckFormat(data, ',');
    }
    return 0;
}
