// Parsing the simulated meter's scripts.
#include "tools/meter/meter_script.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace velmora {
namespace {

using Kind = ScriptStep::Kind;

ScriptStep Step(Kind kind) {
    ScriptStep step;
    step.kind = kind;
    return step;
}

TEST(ParseScript, EveryStepKind) {
    struct Row {
        const char* line;
        ScriptStep step;
    };
    auto with = [](Kind kind, auto change) {
        ScriptStep step = Step(kind);
        change(step);
        return step;
    };
    const Row rows[] = {
        {"answer", Step(Kind::Answer)},
        {"ANSWER", Step(Kind::Answer)},
        {"reply +1.16040760E+03", with(Kind::Reply, [](auto& s) { s.text = "+1.16040760E+03"; })},
        {"reply \"VOLT:AC\"", with(Kind::Reply, [](auto& s) { s.text = "\"VOLT:AC\""; })},
        {"split 40 +1.1604|0760E+03", with(Kind::Split,
                                           [](auto& s) {
                                               s.milliseconds = 40;
                                               s.text = "+1.1604";
                                               s.rest = "0760E+03";
                                           })},
        {"garbage 12", with(Kind::Garbage, [](auto& s) { s.count = 12; })},
        {"overload", Step(Kind::Overload)},
        {"overload -", with(Kind::Overload, [](auto& s) { s.negative = true; })},
        {"silence", Step(Kind::Silence)},
        {"pause 250", with(Kind::Pause, [](auto& s) { s.milliseconds = 250; })},
        {"send \\x13junk\\r\\n", with(Kind::Send, [](auto& s) { s.text = "\x13junk\r\n"; })},
        {"xoff", Step(Kind::Xoff)},
        {"xon", Step(Kind::Xon)},
        {"hangup", Step(Kind::Hangup)},
        {"  hangup reopen  ", with(Kind::Hangup, [](auto& s) { s.reopen = true; })},
        {"hangup reopen 2000", with(Kind::Hangup,
                                    [](auto& s) {
                                        s.reopen = true;
                                        s.milliseconds = 2000;
                                    })},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const std::vector<ScriptStep> steps = ParseScript(row.line);
        ASSERT_EQ(steps.size(), 1u);
        EXPECT_EQ(steps[0], row.step);
    }
}

TEST(ParseScript, SkipsCommentsAndBlankLines) {
    const auto steps = ParseScript("# a demo\n\nanswer\r\n  # indented comment\nsilence\n");
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].kind, Kind::Answer);
    EXPECT_EQ(steps[1].kind, Kind::Silence);
}

TEST(ParseScript, RejectsMalformedLinesNamingTheLine) {
    struct Row {
        const char* script;
        const char* message;
    };
    const Row rows[] = {
        {"dance", "line 1: unknown step \"dance\""},
        {"answer\npause", "line 2: expected a number of milliseconds"},
        {"pause -5", "line 1: expected a number of milliseconds"},
        {"pause 5ms", "line 1: expected a number of milliseconds"},
        {"garbage many", "line 1: expected a number of bytes"},
        {"reply", "line 1: \"reply\" needs a text"},
        {"split 40 no-cut", "line 1: \"split\" needs a \"|\" where the reply is cut"},
        {"silence now", "line 1: \"silence\" takes no argument"},
        {"hangup later", "line 1: \"hangup\" takes only \"reopen\" and a gap"},
        {"hangup reopen soon", "line 1: expected a number of milliseconds"},
        {"overload 5", "line 1: \"overload\" takes only \"-\" or \"+\""},
        {"\n\nsend \\q", "line 3: unknown escape \\q"},
        {"send \\x4", "line 1: \\x needs two hex digits"},
        {"send abc\\", "line 1: a text ends in a lone backslash"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.script);
        try {
            ParseScript(row.script);
            ADD_FAILURE() << "no error";
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), row.message);
        }
    }
}

TEST(DecodeEscapes, AllEscapes) {
    EXPECT_EQ(DecodeEscapes("a\\r\\n\\t\\\\\\x00\\xfF"), std::string("a\r\n\t\\\0\xff", 7));
}

TEST(AnswersQuery, OnlyAnswerShapingSteps) {
    for (const Kind kind :
         {Kind::Answer, Kind::Reply, Kind::Split, Kind::Garbage, Kind::Overload, Kind::Silence})
        EXPECT_TRUE(AnswersQuery(kind));
    for (const Kind kind : {Kind::Pause, Kind::Send, Kind::Xoff, Kind::Xon, Kind::Hangup})
        EXPECT_FALSE(AnswersQuery(kind));
}

} // namespace
} // namespace velmora
