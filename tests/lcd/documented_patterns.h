// The default character patterns written out as the display's documentation gives them,
// so tests compare the code with an independent table and never with the code's own.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace velmora::test {

using PatternRows = std::array<std::int32_t, 7>;

struct DocumentedPattern {
    int code;
    const char* name;
    PatternRows rows;
};

// Codes 33 to 126, rows 0 (top) to 6; bit 4 is the leftmost cell.
inline constexpr DocumentedPattern kPrintableAscii[] = {
    {33, "exclamation mark", {4, 4, 4, 4, 4, 0, 4}},
    {34, "quotation mark", {10, 10, 0, 0, 0, 0, 0}},
    {35, "number sign", {0, 10, 31, 10, 31, 10, 0}},
    {36, "dollar sign", {4, 15, 20, 14, 5, 30, 4}},
    {37, "percent sign", {25, 26, 2, 4, 8, 11, 19}},
    {38, "ampersand", {12, 18, 20, 8, 21, 18, 13}},
    {39, "apostrophe", {4, 4, 0, 0, 0, 0, 0}},
    {40, "left parenthesis", {2, 4, 8, 8, 8, 4, 2}},
    {41, "right parenthesis", {8, 4, 2, 2, 2, 4, 8}},
    {42, "asterisk", {0, 4, 21, 14, 21, 4, 0}},
    {43, "plus sign", {0, 4, 4, 31, 4, 4, 0}},
    {44, "comma", {0, 0, 0, 0, 12, 12, 16}},
    {45, "hyphen-minus", {0, 0, 0, 31, 0, 0, 0}},
    {46, "full stop", {0, 0, 0, 0, 12, 12, 0}},
    {47, "solidus", {1, 1, 2, 4, 8, 16, 16}},
    {48, "0", {14, 17, 19, 21, 25, 17, 14}},
    {49, "1", {4, 12, 4, 4, 4, 4, 14}},
    {50, "2", {14, 17, 1, 2, 4, 8, 31}},
    {51, "3", {14, 17, 1, 6, 1, 17, 14}},
    {52, "4", {2, 6, 10, 18, 31, 2, 2}},
    {53, "5", {31, 16, 30, 1, 1, 17, 14}},
    {54, "6", {14, 17, 16, 30, 17, 17, 14}},
    {55, "7", {31, 1, 1, 2, 4, 4, 4}},
    {56, "8", {14, 17, 17, 14, 17, 17, 14}},
    {57, "9", {14, 17, 17, 15, 1, 17, 14}},
    {58, "colon", {0, 12, 12, 0, 12, 12, 0}},
    {59, "semicolon", {0, 12, 12, 0, 12, 12, 16}},
    {60, "less-than sign", {2, 4, 8, 16, 8, 4, 2}},
    {61, "equals sign", {0, 0, 31, 0, 31, 0, 0}},
    {62, "greater-than sign", {8, 4, 2, 1, 2, 4, 8}},
    {63, "question mark", {14, 17, 1, 2, 4, 0, 4}},
    {64, "commercial at", {14, 17, 19, 21, 23, 16, 15}},
    {65, "A", {14, 17, 17, 31, 17, 17, 17}},
    {66, "B", {30, 17, 17, 30, 17, 17, 30}},
    {67, "C", {14, 17, 16, 16, 16, 17, 14}},
    {68, "D", {30, 17, 17, 17, 17, 17, 30}},
    {69, "E", {31, 16, 16, 30, 16, 16, 31}},
    {70, "F", {31, 16, 16, 30, 16, 16, 16}},
    {71, "G", {14, 17, 16, 19, 17, 17, 14}},
    {72, "H", {17, 17, 17, 31, 17, 17, 17}},
    {73, "I", {14, 4, 4, 4, 4, 4, 14}},
    {74, "J", {1, 1, 1, 1, 17, 17, 14}},
    {75, "K", {17, 18, 20, 24, 20, 18, 17}},
    {76, "L", {16, 16, 16, 16, 16, 16, 31}},
    {77, "M", {17, 27, 21, 21, 17, 17, 17}},
    {78, "N", {17, 25, 21, 19, 17, 17, 17}},
    {79, "O", {14, 17, 17, 17, 17, 17, 14}},
    {80, "P", {30, 17, 17, 30, 16, 16, 16}},
    {81, "Q", {14, 17, 17, 17, 17, 14, 1}},
    {82, "R", {30, 17, 17, 30, 17, 17, 17}},
    {83, "S", {14, 17, 16, 14, 1, 17, 14}},
    {84, "T", {31, 4, 4, 4, 4, 4, 4}},
    {85, "U", {17, 17, 17, 17, 17, 17, 14}},
    {86, "V", {17, 17, 17, 17, 17, 10, 4}},
    {87, "W", {17, 17, 17, 17, 21, 27, 17}},
    {88, "X", {17, 10, 4, 4, 4, 10, 17}},
    {89, "Y", {17, 17, 17, 10, 4, 4, 4}},
    {90, "Z", {31, 1, 2, 4, 8, 16, 31}},
    {91, "left square bracket", {12, 8, 8, 8, 8, 8, 12}},
    {92, "reverse solidus", {0, 16, 8, 4, 2, 1, 0}},
    {93, "right square bracket", {6, 2, 2, 2, 2, 2, 6}},
    {94, "circumflex accent", {4, 10, 17, 0, 0, 0, 0}},
    {95, "low line", {0, 0, 0, 0, 0, 0, 31}},
    {96, "grave accent", {6, 4, 2, 0, 0, 0, 0}},
    {97, "a", {0, 0, 14, 1, 15, 17, 15}},
    {98, "b", {16, 16, 30, 17, 17, 17, 30}},
    {99, "c", {0, 0, 15, 16, 16, 16, 15}},
    {100, "d", {1, 1, 15, 17, 17, 17, 15}},
    {101, "e", {0, 0, 14, 17, 31, 16, 14}},
    {102, "f", {3, 4, 31, 4, 4, 4, 4}},
    {103, "g", {0, 0, 15, 17, 15, 1, 14}},
    {104, "h", {16, 16, 22, 25, 17, 17, 17}},
    {105, "i", {4, 0, 12, 4, 4, 4, 14}},
    {106, "j", {2, 0, 6, 2, 2, 18, 12}},
    {107, "k", {16, 16, 18, 20, 24, 20, 18}},
    {108, "l", {12, 4, 4, 4, 4, 4, 14}},
    {109, "m", {0, 0, 26, 21, 21, 21, 21}},
    {110, "n", {0, 0, 22, 25, 17, 17, 17}},
    {111, "o", {0, 0, 14, 17, 17, 17, 14}},
    {112, "p", {0, 0, 30, 17, 30, 16, 16}},
    {113, "q", {0, 0, 15, 17, 15, 1, 1}},
    {114, "r", {0, 0, 11, 12, 8, 8, 8}},
    {115, "s", {0, 0, 14, 16, 14, 1, 30}},
    {116, "t", {4, 4, 31, 4, 4, 4, 3}},
    {117, "u", {0, 0, 17, 17, 17, 19, 13}},
    {118, "v", {0, 0, 17, 17, 17, 10, 4}},
    {119, "w", {0, 0, 17, 17, 21, 21, 10}},
    {120, "x", {0, 0, 17, 10, 4, 10, 17}},
    {121, "y", {0, 0, 17, 17, 15, 1, 14}},
    {122, "z", {0, 0, 31, 2, 4, 8, 31}},
    {123, "left curly bracket", {3, 4, 4, 8, 4, 4, 3}},
    {124, "vertical line", {4, 4, 4, 4, 4, 4, 4}},
    {125, "right curly bracket", {24, 4, 4, 2, 4, 4, 24}},
    {126, "tilde", {8, 21, 2, 0, 0, 0, 0}},
};

// The rows given for the upper half of the table (and the euro sign).
inline constexpr DocumentedPattern kUpperRangeTellingRows[] = {
    {128, "euro sign", {6, 9, 28, 8, 28, 9, 6}},
    {161, "inverted exclamation mark", {4, 0, 4, 4, 4, 4, 4}},
    {176, "degree sign", {6, 9, 6, 0, 0, 0, 0}},
    {181, "micro sign", {0, 17, 17, 17, 25, 22, 16}},
    {196, "A with diaeresis", {10, 0, 14, 17, 31, 17, 17}},
    {214, "O with diaeresis", {10, 0, 14, 17, 17, 17, 14}},
    {223, "sharp s", {14, 17, 30, 18, 17, 25, 22}},
    {228, "a with diaeresis", {10, 0, 14, 1, 15, 17, 15}},
    {252, "u with diaeresis", {10, 0, 0, 17, 17, 19, 13}},
    {255, "y with diaeresis", {10, 0, 17, 17, 15, 1, 14}},
};

inline bool IsDocumentedBlank(int code) {
    return (code >= 0 && code <= 32) || code == 127 || (code >= 129 && code <= 160);
}

// The documented rows of `code`, or nothing for the upper-range codes whose
// rows are left to the drawing.
inline std::optional<PatternRows> DocumentedRows(int code) {
    if (IsDocumentedBlank(code)) {
        return PatternRows{};
    }
    for (const DocumentedPattern& p : kPrintableAscii) {
        if (p.code == code) {
            return p.rows;
        }
    }
    for (const DocumentedPattern& p : kUpperRangeTellingRows) {
        if (p.code == code) {
            return p.rows;
        }
    }
    return std::nullopt;
}

} // namespace velmora::test
