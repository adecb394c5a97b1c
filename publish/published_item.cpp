// An item's line in the spool, and its time as the recording writes it.
#include "publish/published_item.h"

#include "record/recording_format.h"

#include <charconv>
#include <vector>

namespace velmora {
namespace {

constexpr char kSeparator = '\t';

void AppendText(std::string& line, std::string_view text) {
    for (const char c : text) {
        switch (c) {
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\\':
            line += "\\\\";
            break;
        default:
            line += c;
        }
    }
}

std::optional<std::string> UnescapeText(std::string_view field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            text += field[i];
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
        case 't':
            text += '\t';
            break;
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            return std::nullopt;
        }
    }
    return text;
}

template <typename Number>
void AppendNumber(std::string& line, Number value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value);
    line.append(text, end.ptr);
}

void AppendOptional(std::string& line, const std::optional<double>& value) {
    if (value) {
        AppendNumber(line, *value);
    } else {
        line += '-';
    }
}

template <typename Number>
bool ParseNumber(std::string_view field, Number& value) {
    const auto end = field.data() + field.size();
    const auto result = std::from_chars(field.data(), end, value);
    return result.ec == std::errc() && result.ptr == end && !field.empty();
}

bool ParseOptional(std::string_view field, std::optional<double>& value) {
    if (field == "-") {
        value.reset();
        return true;
    }
    double number = 0;
    if (!ParseNumber(field, number)) {
        return false;
    }
    value = number;
    return true;
}

} // namespace

std::string SpoolRecord(const PublishedItem& item) {
    std::string line = item.kind == PublishedItem::Kind::Event ? "E" : "R";
    const auto text = [&](std::string_view value) {
        line += kSeparator;
        AppendText(line, value);
    };
    const auto number = [&](auto value) {
        line += kSeparator;
        AppendNumber(line, value);
    };
    text(item.meter);
    number(item.sequence);
    number(item.run);
    number(item.timeNs);
    number(item.seconds);
    line += kSeparator;
    AppendOptional(line, item.value);
    text(item.unit);
    text(item.function);
    text(item.status);
    text(item.event);
    line += kSeparator;
    AppendOptional(line, item.math);
    text(item.mathUnit);
    text(item.limit);
    return line;
}

std::optional<PublishedItem> ParseSpoolRecord(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t from = 0;;) {
        const size_t at = line.find(kSeparator, from);
        fields.push_back(line.substr(from, at == std::string_view::npos ? at : at - from));
        if (at == std::string_view::npos) {
            break;
        }
        from = at + 1;
    }
    if (fields.size() != 14 || (fields[0] != "R" && fields[0] != "E")) {
        return std::nullopt;
    }
    PublishedItem item;
    item.kind = fields[0] == "E" ? PublishedItem::Kind::Event : PublishedItem::Kind::Reading;
    std::string* texts[] = {&item.meter, &item.unit,     &item.function, &item.status,
                            &item.event, &item.mathUnit, &item.limit};
    const size_t textFields[] = {1, 7, 8, 9, 10, 12, 13};
    for (size_t i = 0; i < std::size(textFields); ++i) {
        std::optional<std::string> text = UnescapeText(fields[textFields[i]]);
        if (!text) {
            return std::nullopt;
        }
        *texts[i] = std::move(*text);
    }
    if (!ParseNumber(fields[2], item.sequence) || !ParseNumber(fields[3], item.run) ||
        !ParseNumber(fields[4], item.timeNs) || !ParseNumber(fields[5], item.seconds) ||
        !ParseOptional(fields[6], item.value) || !ParseOptional(fields[11], item.math)) {
        return std::nullopt;
    }
    return item;
}

std::string ItemTime(const PublishedItem& item) {
    timespec wall{};
    wall.tv_sec = static_cast<time_t>(item.timeNs / 1'000'000'000);
    wall.tv_nsec = static_cast<long>(item.timeNs % 1'000'000'000);
    if (wall.tv_nsec < 0) {
        wall.tv_nsec += 1'000'000'000;
        --wall.tv_sec;
    }
    return FormatRecordingTime(wall);
}

} // namespace velmora
