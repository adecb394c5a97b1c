// Program messages: how a line splits into commands, and which headers match which forms.
#include "control/scpi_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

struct SplitCase {
    const char* line;
    // Each command as NODES[?] then its parameters, '|' between them; a
    // quoted parameter shown in <>.
    std::vector<std::string> commands;
};

std::string Describe(const ScpiCommand& c) {
    std::string text;
    for (size_t i = 0; i < c.nodes.size(); ++i) {
        text += (i ? ":" : "") + c.nodes[i];
    }
    if (c.query) {
        text += "?";
    }
    for (const ScpiParameter& p : c.parameters) {
        text += "|" + (p.quoted ? "<" + p.text + ">" : p.text);
    }
    if (c.problem != 0) {
        text += " !" + std::to_string(c.problem);
    }
    return text;
}

TEST(ScpiMessage, ALineSplitsIntoCommandsWithTheirParameters) {
    const SplitCase cases[] = {
        {"*IDN?", {"*IDN?"}},
        {"syst:err?;:FETC?", {"SYST:ERR?", "FETC?"}},
        {"  READ?  ;  ;  ", {"READ?"}},
        {"REC:FILE \"a;b,c.csv\";REC:STAT ON", {"REC:FILE|<a;b,c.csv>", "REC:STAT|ON"}},
        {"REC:FILE 'it''s'", {"REC:FILE|<it's>"}},
        {"METER \"DISP:TEXT \"\"HI\"\"\"", {"METER|<DISP:TEXT \"HI\">"}},
        {"CONF:VOLT 10, 0.001", {"CONF:VOLT|10|0.001"}},
        {"REC:FILE \"open", {"REC:FILE !-151"}},
        {"REC:FILE \"x\"y", {"REC:FILE !-151"}},
        {"", {}},
    };
    for (const SplitCase& c : cases) {
        std::vector<std::string> got;
        for (const ScpiCommand& command : ParseProgramMessage(c.line)) {
            got.push_back(Describe(command));
        }
        EXPECT_EQ(got, c.commands) << c.line;
    }
}

TEST(ScpiMessage, HeadersMatchTheirShortAndLongFormsOnly) {
    struct MatchCase {
        const char* header;
        const char* pattern;
        bool matches;
    };
    const MatchCase cases[] = {
        {"SYST:ERR?", "SYSTem:ERRor[:NEXT]", true},
        {"system:error:next?", "SYSTem:ERRor[:NEXT]", true},
        {"Syst:Error?", "SYSTem:ERRor[:NEXT]", true},
        {"SYSTE:ERR?", "SYSTem:ERRor[:NEXT]", false}, // neither form
        {"SYST:ERR:NEX?", "SYSTem:ERRor[:NEXT]", false},
        {"SYST?", "SYSTem:ERRor[:NEXT]", false},
        {"STAT:QUES:EVEN?", "STATus:QUEStionable[:EVENt]", true},
        {"STAT:QUES:COND?", "STATus:QUEStionable[:EVENt]", false},
        {"*idn?", "*IDN", true},
        {"INIT", "INITiate[:IMMediate]", true},
        {"INIT:IMM", "INITiate[:IMMediate]", true},
        {"FETCH?", "FETCh", true},
        {"FET?", "FETCh", false},
        {"REC:STAT", "RECord:STATe", true},
        {"RECORD:STATE", "RECord:STATe", true},
        {"FUNC?", "[SENSe:]FUNCtion", true},
        {"SENS:FUNC?", "[SENSe:]FUNCtion", true},
        {"SENS?", "[SENSe:]FUNCtion", false}, // only the bracketed node may be left out
    };
    for (const MatchCase& c : cases) {
        const std::vector<ScpiCommand> commands = ParseProgramMessage(c.header);
        ASSERT_EQ(commands.size(), 1u) << c.header;
        EXPECT_EQ(HeaderMatches(commands.front(), c.pattern), c.matches)
            << c.header << " against " << c.pattern;
    }
}

TEST(ScpiMessage, ALineIsAQueryWhenAnyOfItsCommandsIs) {
    EXPECT_TRUE(IsQueryLine("VOLT:NPLC?"));
    EXPECT_TRUE(IsQueryLine("MEAS:VOLT:DC? 10,0.001"));
    EXPECT_TRUE(IsQueryLine("CONF:VOLT;:READ?"));
    EXPECT_FALSE(IsQueryLine("CONF:VOLT"));
    EXPECT_FALSE(IsQueryLine("DISP:TEXT \"WHY?\""));
}

} // namespace
} // namespace velmora
