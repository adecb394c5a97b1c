// TimeFormatItems: the clock items a POSIX time format implies.
#include "text/time_format_items.h"

#include <cstring>
#include <vector>

namespace velmora {

namespace {

// One piece of a strftime format: a literal run or a conversion such as %-I.
struct FormatPiece {
    bool conversion = false;
    char letter = '\0';    // the conversion letter, e.g. 'H'
    char padFlag = '\0';   // '-', '_' or '0' when given
    std::string_view text; // the literal text, or the whole conversion
};

std::vector<FormatPiece> SplitFormat(std::string_view format) {
    std::vector<FormatPiece> pieces;
    size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            const size_t next = format.find('%', i + 1);
            const size_t end = next == std::string_view::npos ? format.size() : next;
            pieces.push_back({false, '\0', '\0', format.substr(i, end - i)});
            i = end;
            continue;
        }
        size_t j = i + 1;
        char padFlag = '\0';
        while (j < format.size() && format[j] != '\0' && std::strchr("_-0^#", format[j])) {
            if (format[j] != '^' && format[j] != '#') {
                padFlag = format[j];
            }
            ++j;
        }
        while (j < format.size() && format[j] >= '0' && format[j] <= '9') {
            ++j; // a field width; it does not change which item is meant
        }
        if (j < format.size() && (format[j] == 'E' || format[j] == 'O')) {
            ++j;
        }
        if (j >= format.size()) {
            pieces.push_back({false, '\0', '\0', format.substr(i)});
            break;
        }
        if (format[j] == '%') {
            pieces.push_back({false, '\0', '\0', format.substr(j, 1)});
        } else {
            pieces.push_back({true, format[j], padFlag, format.substr(i, j + 1 - i)});
        }
        i = j + 1;
    }
    return pieces;
}

// Replaces %T, %R and (once, not recursively) %r by what they stand for.
std::string ExpandFormat(std::string_view format, std::string_view ampmFormat, bool expandR) {
    std::string expanded;
    for (const FormatPiece& piece : SplitFormat(format)) {
        if (!piece.conversion) {
            // Keep a literal percent literal for the second split.
            expanded += piece.text == "%" ? std::string_view("%%") : piece.text;
        } else if (piece.letter == 'T') {
            expanded += "%H:%M:%S";
        } else if (piece.letter == 'R') {
            expanded += "%H:%M";
        } else if (piece.letter == 'r' && expandR) {
            expanded += ExpandFormat(ampmFormat, {}, false);
        } else {
            expanded += piece.text;
        }
    }
    return expanded;
}

bool IsHour(const FormatPiece& piece) {
    return piece.conversion && std::strchr("HIkl", piece.letter) != nullptr;
}

bool IsConversion(const FormatPiece& piece, char letter) {
    return piece.conversion && piece.letter == letter;
}

bool HasLeadingZero(const FormatPiece& hour) {
    if (hour.padFlag == '-' || hour.padFlag == '_') {
        return false;
    }
    return hour.padFlag == '0' || hour.letter == 'H' || hour.letter == 'I';
}

// The byte between hour and minute when the same single byte stands between
// minute and second: "%H:%M:%S" -> ':', "%H.%M.%S" -> '.', "%H時%M分%S秒" -> 0.
char FindTimeMark(const std::vector<FormatPiece>& pieces, size_t hourIndex) {
    const size_t h = hourIndex;
    if (h + 4 >= pieces.size()) {
        return '\0';
    }
    const FormatPiece& first = pieces[h + 1];
    const FormatPiece& second = pieces[h + 3];
    if (first.conversion || second.conversion || first.text.size() != 1 ||
        second.text != first.text || !IsConversion(pieces[h + 2], 'M') ||
        !IsConversion(pieces[h + 4], 'S')) {
        return '\0';
    }
    return first.text[0];
}

bool MarkerBeforeHour(std::string_view ampmFormat) {
    for (const FormatPiece& piece : SplitFormat(ExpandFormat(ampmFormat, {}, false))) {
        if (IsConversion(piece, 'p') || IsConversion(piece, 'P')) {
            return true;
        }
        if (IsHour(piece)) {
            return false;
        }
    }
    return false;
}

} // namespace

TimeFormatItems AnalyseTimeFormats(std::string_view timeFormat, std::string_view ampmTimeFormat) {
    TimeFormatItems items;
    items.markerFirst = MarkerBeforeHour(ampmTimeFormat);

    const std::string expanded = ExpandFormat(timeFormat, ampmTimeFormat, true);
    const std::vector<FormatPiece> pieces = SplitFormat(expanded);
    size_t hourIndex = pieces.size();
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (IsHour(pieces[i])) {
            hourIndex = i;
            break;
        }
    }
    if (hourIndex == pieces.size()) {
        return items; // no hour: the clock items cannot be read
    }
    items.twelveHour = false;
    for (const FormatPiece& piece : pieces) {
        if (IsConversion(piece, 'I') || IsConversion(piece, 'l')) {
            items.twelveHour = true;
        }
    }
    items.leadingZero = HasLeadingZero(pieces[hourIndex]);
    items.timeMark = FindTimeMark(pieces, hourIndex);
    return items;
}

std::string BuildLongTimePattern(const TimeFormatItems& items) {
    std::string pattern;
    if (items.twelveHour && items.markerFirst) {
        pattern += "AMPM ";
    }
    pattern += items.leadingZero ? "hh" : "h";
    pattern += ":mm:ss";
    if (items.twelveHour && !items.markerFirst) {
        pattern += " AMPM";
    }
    return pattern;
}

} // namespace velmora
