// SCPI-style program messages.
#include "control/scpi_message.h"

#include <cctype>

namespace velmora {

namespace {

std::string_view Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

// Splits at `separator` outside quotes; false when a quote is left open.
bool SplitOutsideQuotes(std::string_view text, char separator, std::vector<std::string_view>& out) {
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) {
                quote = 0; // a doubled quote closes and opens again: the same result
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            out.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(text.substr(start));
    return quote == 0;
}

std::optional<ScpiParameter> ParseParameter(std::string_view text) {
    text = Trimmed(text);
    if (text.empty() || (text.front() != '"' && text.front() != '\'')) {
        return ScpiParameter{std::string(text), false};
    }
    const char quote = text.front();
    ScpiParameter parameter{{}, true};
    size_t i = 1;
    for (; i < text.size(); ++i) {
        if (text[i] != quote) {
            parameter.text += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
            parameter.text += quote;
            ++i;
        } else {
            break;
        }
    }
    if (i + 1 != text.size()) {
        return std::nullopt; // not closed, or something after the closing quote
    }
    return parameter;
}

ScpiCommand ParseCommand(std::string_view part) {
    ScpiCommand command;
    const size_t blank = part.find_first_of(" \t");
    std::string_view header = part.substr(0, blank);
    const std::string_view rest =
        blank == std::string_view::npos ? std::string_view() : Trimmed(part.substr(blank));
    if (header.starts_with(':')) {
        header.remove_prefix(1);
    }
    if (header.ends_with('?')) {
        command.query = true;
        header.remove_suffix(1);
    }
    size_t start = 0;
    while (start <= header.size()) {
        const size_t end = std::min(header.find(':', start), header.size());
        command.nodes.push_back(Upper(header.substr(start, end - start)));
        start = end + 1;
    }
    if (!rest.empty()) {
        std::vector<std::string_view> texts;
        SplitOutsideQuotes(rest, ',', texts);
        for (const std::string_view text : texts) {
            std::optional<ScpiParameter> parameter = ParseParameter(text);
            if (!parameter) {
                command.problem = -151;
                break;
            }
            command.parameters.push_back(std::move(*parameter));
        }
    }
    return command;
}

struct PatternNode {
    std::string shortForm;
    std::string longForm;
    bool optional = false;
};

std::vector<PatternNode> ParsePattern(std::string_view pattern) {
    std::vector<PatternNode> nodes;
    bool optional = false;
    PatternNode node;
    const auto finish = [&] {
        if (!node.longForm.empty()) {
            nodes.push_back(node);
        }
        node = {};
        node.optional = optional;
    };
    for (const char c : pattern) {
        if (c == '[') {
            finish();
            optional = true;
            node.optional = true;
        } else if (c == ']') {
            finish();
            optional = false;
            node.optional = false;
        } else if (c == ':') {
            finish();
        } else {
            const auto u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (u == c) {
                node.shortForm += c; // capitals, digits and '*' are the short form
            }
            node.longForm += u;
        }
    }
    finish();
    return nodes;
}

bool NodesMatch(const std::vector<std::string>& given, size_t g,
                const std::vector<PatternNode>& pattern, size_t p) {
    if (p == pattern.size()) {
        return g == given.size();
    }
    const PatternNode& node = pattern[p];
    if (g < given.size() && (given[g] == node.shortForm || given[g] == node.longForm) &&
        NodesMatch(given, g + 1, pattern, p + 1)) {
        return true;
    }
    return node.optional && NodesMatch(given, g, pattern, p + 1);
}

} // namespace

std::vector<ScpiCommand> ParseProgramMessage(std::string_view line) {
    std::vector<ScpiCommand> commands;
    std::vector<std::string_view> parts;
    const bool closed = SplitOutsideQuotes(line, ';', parts);
    for (const std::string_view raw : parts) {
        const std::string_view part = Trimmed(raw);
        if (!part.empty()) {
            commands.push_back(ParseCommand(part));
        }
    }
    if (!closed && !commands.empty()) {
        commands.back().problem = -151;
    }
    return commands;
}

bool HeaderMatches(const ScpiCommand& command, std::string_view pattern) {
    return NodesMatch(command.nodes, 0, ParsePattern(pattern), 0);
}

bool IsQueryLine(std::string_view line) {
    for (const ScpiCommand& command : ParseProgramMessage(line)) {
        if (command.query) {
            return true;
        }
    }
    return false;
}

} // namespace velmora
