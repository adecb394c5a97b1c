// Script parsing for the simulated meter.
#include "tools/meter/meter_script.h"

#include <cctype>
#include <charconv>
#include <stdexcept>

namespace velmora {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// Splits "word rest of line" into its first word (lower case) and the trimmed rest.
std::pair<std::string, std::string_view> FirstWord(std::string_view line) {
    const size_t end = line.find_first_of(" \t");
    std::string word(line.substr(0, end));
    for (char& c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return {word, end == std::string_view::npos ? std::string_view() : Trim(line.substr(end))};
}

int Number(std::string_view text, const char* what) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        throw std::invalid_argument(std::string("expected a number of ") + what);
    return value;
}

void ExpectNothing(std::string_view rest, const std::string& word) {
    if (!rest.empty())
        throw std::invalid_argument("\"" + word + "\" takes no argument");
}

ScriptStep ParseStep(std::string_view line) {
    const auto [word, rest] = FirstWord(line);
    ScriptStep step;
    using Kind = ScriptStep::Kind;
    if (word == "answer" || word == "silence" || word == "xoff" || word == "xon") {
        ExpectNothing(rest, word);
        step.kind = word == "answer"    ? Kind::Answer
                    : word == "silence" ? Kind::Silence
                    : word == "xoff"    ? Kind::Xoff
                                        : Kind::Xon;
    } else if (word == "reply" || word == "send") {
        if (rest.empty())
            throw std::invalid_argument("\"" + word + "\" needs a text");
        step.kind = word == "reply" ? Kind::Reply : Kind::Send;
        step.text = DecodeEscapes(rest);
    } else if (word == "late") {
        step.kind = Kind::Late;
        step.milliseconds = Number(rest, "milliseconds");
    } else if (word == "split") {
        const auto [delay, text] = FirstWord(rest);
        step.kind = Kind::Split;
        step.milliseconds = Number(delay, "milliseconds");
        const size_t cut = text.find('|');
        if (cut == std::string_view::npos)
            throw std::invalid_argument("\"split\" needs a \"|\" where the reply is cut");
        step.text = DecodeEscapes(text.substr(0, cut));
        step.rest = DecodeEscapes(text.substr(cut + 1));
    } else if (word == "garbage") {
        step.kind = Kind::Garbage;
        step.count = Number(rest, "bytes");
    } else if (word == "overload") {
        if (!rest.empty() && rest != "-" && rest != "+")
            throw std::invalid_argument("\"overload\" takes only \"-\" or \"+\"");
        step.kind = Kind::Overload;
        step.negative = rest == "-";
    } else if (word == "pause") {
        step.kind = Kind::Pause;
        step.milliseconds = Number(rest, "milliseconds");
    } else if (word == "hangup") {
        const auto [what, gap] = FirstWord(rest);
        if (!what.empty() && what != "reopen")
            throw std::invalid_argument("\"hangup\" takes only \"reopen\" and a gap");
        step.kind = Kind::Hangup;
        step.reopen = what == "reopen";
        if (!gap.empty())
            step.milliseconds = Number(gap, "milliseconds");
    } else {
        throw std::invalid_argument("unknown step \"" + word + "\"");
    }
    return step;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

bool AnswersQuery(ScriptStep::Kind kind) {
    using Kind = ScriptStep::Kind;
    return kind == Kind::Answer || kind == Kind::Reply || kind == Kind::Split ||
           kind == Kind::Garbage || kind == Kind::Overload || kind == Kind::Silence ||
           kind == Kind::Late;
}

std::string DecodeEscapes(std::string_view text) {
    std::string bytes;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size())
            throw std::invalid_argument("a text ends in a lone backslash");
        switch (text[i]) {
        case 'r':
            bytes += '\r';
            break;
        case 'n':
            bytes += '\n';
            break;
        case 't':
            bytes += '\t';
            break;
        case '\\':
            bytes += '\\';
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
            if (high < 0 || low < 0)
                throw std::invalid_argument("\\x needs two hex digits");
            bytes += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            throw std::invalid_argument(std::string("unknown escape \\") + text[i]);
        }
    }
    return bytes;
}

std::vector<ScriptStep> ParseScript(std::string_view script) {
    std::vector<ScriptStep> steps;
    int number = 0;
    while (!script.empty()) {
        ++number;
        const size_t end = script.find('\n');
        const std::string_view line = Trim(script.substr(0, end));
        script = end == std::string_view::npos ? std::string_view() : script.substr(end + 1);
        if (line.empty() || line.front() == '#')
            continue;
        try {
            steps.push_back(ParseStep(line));
        } catch (const std::invalid_argument& error) {
            throw std::invalid_argument("line " + std::to_string(number) + ": " + error.what());
        }
    }
    return steps;
}

} // namespace velmora
