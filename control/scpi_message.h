// SCPI-style program messages: a line split into commands, headers matched in short or long form.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct ScpiParameter {
    std::string text; // a string's contents with its doubled quotes made single
    bool quoted = false;
};

struct ScpiCommand {
    std::vector<std::string> nodes; // the header's parts, upper case: {"SYST", "ERR"}
    bool query = false;             // the header ended in '?'
    std::vector<ScpiParameter> parameters;
    // Why the command cannot be taken as written (-151: a string not closed);
    // 0 when it can.
    int problem = 0;
};

// "syst:err?;:FETC?" -> two commands. ';' and ',' inside a string (in double
// or single quotes, the quote doubled inside) are the string's; a leading ':'
// is dropped; blanks around parts are ignored; empty parts are skipped.
std::vector<ScpiCommand> ParseProgramMessage(std::string_view line);

// `pattern` in the usual mixed case, optional nodes in brackets:
// "SYSTem:ERRor[:NEXT]" matches "SYST:ERR", "system:error:next", and so on;
// each node must be its short form (the capitals) or its whole long form.
bool HeaderMatches(const ScpiCommand& command, std::string_view pattern);

// A command line for a meter holds a query when the header of any of its
// ';' parts ends in '?'.
bool IsQueryLine(std::string_view line);

} // namespace velmora
