// Line scanner, lookup and in-place editing of INI text.
#include "settings/ini_text.h"

#include <algorithm>

namespace velmora {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldAscii(x) == FoldAscii(y);
           });
}

enum class LineKind { Other, Section, Key };

struct Line {
    std::size_t end = 0;  // end of the content, line end excluded
    std::size_t next = 0; // start of the following line (text size at the end)
    LineKind kind = LineKind::Other;
    std::string_view name;      // section or key name; empty for "[" without "]"
    std::size_t equalsEnd = 0;  // key lines: first byte after "="
    std::size_t valueBegin = 0; // key lines: first byte after "=" and the blanks after it
};

Line ParseLine(std::string_view text, std::size_t begin) {
    Line line;
    // A line ends at LF, CR LF or a lone CR (files saved by old Mac editors).
    const std::size_t brk = text.find_first_of("\r\n", begin);
    line.end = brk == std::string_view::npos ? text.size() : brk;
    line.next = brk == std::string_view::npos ? text.size() : brk + 1;
    if (brk != std::string_view::npos && text[brk] == '\r' && brk + 1 < text.size() &&
        text[brk + 1] == '\n') {
        ++line.next;
    }
    std::string_view content = text.substr(begin, line.end - begin);
    std::size_t first = 0;
    while (first < content.size() && IsBlank(content[first])) {
        ++first;
    }
    if (first == content.size() || content[first] == ';') {
        return line;
    }
    if (content[first] == '[') {
        line.kind = LineKind::Section;
        const std::size_t close = content.find(']', first + 1);
        if (close != std::string_view::npos) {
            line.name = TrimBlanks(content.substr(first + 1, close - first - 1));
        }
        return line;
    }
    const std::size_t equals = content.find('=', first);
    if (equals == std::string_view::npos) {
        return line;
    }
    line.name = TrimBlanks(content.substr(first, equals - first));
    if (line.name.empty()) {
        return line;
    }
    line.kind = LineKind::Key;
    line.equalsEnd = begin + equals + 1;
    std::size_t value = equals + 1;
    while (value < content.size() && IsBlank(content[value])) {
        ++value;
    }
    line.valueBegin = begin + value;
    return line;
}

// Where a section and a key within it stand in the text.
struct Location {
    bool sectionFound = false;
    bool keyFound = false;
    int keyCount = 0;
    Line key;    // first line of the key, when found
    Line anchor; // header or last key line of the section: new keys go after it
};

// Editors that save UTF-8 may put a byte-order mark before the first line;
// it is not part of that line (and stays in the file).
std::size_t FirstLineStart(std::string_view text) {
    return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

Location Locate(std::string_view text, std::string_view section, std::string_view key) {
    Location where;
    if (section.empty()) {
        return where;
    }
    for (std::size_t begin = FirstLineStart(text); begin < text.size();) {
        const Line line = ParseLine(text, begin);
        begin = line.next;
        if (line.kind == LineKind::Section) {
            if (where.sectionFound) {
                break; // the first section of that name has ended
            }
            if (!line.name.empty() && EqualFolded(line.name, section)) {
                where.sectionFound = true;
                where.anchor = line;
            }
        } else if (where.sectionFound && line.kind == LineKind::Key) {
            ++where.keyCount;
            where.anchor = line;
            if (!where.keyFound && EqualFolded(line.name, key)) {
                where.keyFound = true;
                where.key = line;
            }
        }
    }
    return where;
}

// Gives an unterminated last line its line end, so that text can follow it.
void TerminateLastLine(std::string& text) {
    if (text.empty() || text.back() == '\n' || text.back() == '\r' || text == kByteOrderMark) {
        return;
    }
    text += kLineEnd;
}

bool HasLineBreakOrNul(std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool HasOuterBlank(std::string_view s) {
    return IsBlank(s.front()) || IsBlank(s.back());
}

} // namespace

std::string IniValueAsRead(std::string_view raw) {
    std::string_view value = TrimBlanks(raw);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kIniMaxValueLength));
}

bool IniHasSection(std::string_view text, std::string_view section) {
    return Locate(text, section, {}).keyCount > 0;
}

std::optional<std::string> IniFindValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    if (key.empty()) {
        return std::nullopt;
    }
    const Location where = Locate(text, section, key);
    if (!where.keyFound) {
        return std::nullopt;
    }
    return IniValueAsRead(text.substr(where.key.valueBegin, where.key.end - where.key.valueBegin));
}

bool IniIsWritable(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || key.empty()) {
        return false;
    }
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) {
        return false;
    }
    if (HasOuterBlank(section) || HasOuterBlank(key)) {
        return false;
    }
    return section.find(']') == std::string_view::npos && key.find('=') == std::string_view::npos &&
           key.front() != ';' && key.front() != '[';
}

std::string IniWithValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view value) {
    const Location where = Locate(text, section, key);
    std::string result;
    result.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (where.keyFound) {
        // The blanks after "=" are kept for looks, unless the value brings its own:
        // then it replaces them, so that writing it again leaves the line as it is.
        const std::size_t keep =
            (!value.empty() && IsBlank(value.front())) ? where.key.equalsEnd : where.key.valueBegin;
        result.append(text.substr(0, keep));
        result.append(value);
        result.append(text.substr(where.key.end));
        return result;
    }
    const std::size_t insertAt = where.sectionFound ? where.anchor.next : text.size();
    result.append(text.substr(0, insertAt));
    TerminateLastLine(result);
    if (!where.sectionFound) {
        result.append("[").append(section).append("]").append(kLineEnd);
    }
    result.append(key).append("=").append(value).append(kLineEnd);
    result.append(text.substr(insertAt));
    return result;
}

} // namespace velmora
