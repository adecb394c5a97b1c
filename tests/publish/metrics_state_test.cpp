// The /metrics page's text: names escaped as the exposition format has them, the samples that
// are left out (overloads, stale readings, a link down), counters and alarms, and Debian's
// promtool judging a page full of hostile names.
#include "publish/metrics_state.h"

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Clock = MetricsState::Clock;

const Clock::time_point kStart = Clock::time_point() + 1000h;
constexpr int64_t kTimeNs = 1765271700123000000; // 2025-12-09 09:15:00.123 UTC

PublishedItem Reading(std::string meter, std::optional<double> value, std::string function = "VOLT",
                      std::string unit = "V DC") {
    PublishedItem item;
    item.meter = std::move(meter);
    item.value = value;
    item.status = value ? "ok" : "overload";
    item.function = std::move(function);
    item.unit = std::move(unit);
    item.timeNs = kTimeNs;
    return item;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    for (size_t end; (end = text.find('\n', from)) != std::string::npos; from = end + 1) {
        lines.push_back(text.substr(from, end - from));
    }
    EXPECT_EQ(from, text.size()) << "the last line has no line end";
    return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
    const std::vector<std::string> lines = Lines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool HasSampleOf(const std::string& text, const std::string& family) {
    for (const std::string& line : Lines(text)) {
        if (line.rfind(family + "{", 0) == 0) {
            return true;
        }
    }
    return false;
}

// Names as users type them, and as the format's rules want them inside a
// label value's quotes: backslash, quote and line feed escaped, everything
// else (UTF-8 included) as it is; bytes that are not UTF-8 become U+FFFD.
struct NameRow {
    std::string name;
    std::string raw;
    std::string escaped;
    friend void PrintTo(const NameRow& row, std::ostream* os) { *os << row.name; }
};

class HostileName : public testing::TestWithParam<NameRow> {};

TEST_P(HostileName, IsEscapedInEveryLabel) {
    const NameRow& row = GetParam();
    MetricsState state;
    PublishedItem item = Reading(row.raw, 1.5, row.raw, row.raw);
    item.math = 2.5;
    item.mathUnit = row.raw;
    state.reading(item, kStart);
    state.alarmsRaised(row.raw, {row.raw});
    const std::string text = state.exposition(kStart, 3000ms);
    const std::string& e = row.escaped;
    for (const std::string& line : {
             "velmora_reading{meter=\"" + e + "\",function=\"" + e + "\",unit=\"" + e + "\"} 1.5",
             "velmora_math{meter=\"" + e + "\",function=\"" + e + "\",unit=\"" + e + "\"} 2.5",
             "velmora_readings_total{meter=\"" + e + "\"} 1",
             "velmora_link_up{meter=\"" + e + "\"} 1",
             "velmora_alarm_raised{meter=\"" + e + "\",alarm=\"" + e + "\"} 1",
         }) {
        EXPECT_TRUE(HasLine(text, line)) << "wanted: " << line << "\nin:\n" << text;
    }
}

const NameRow kNames[] = {
    {"plain", "bench_1", "bench_1"},
    {"spaces_commas_equals", "bench 1, a=b", "bench 1, a=b"},
    {"braces_and_hash", "a}b{c # HELP", "a}b{c # HELP"},
    {"quotes", "say \"hi\"", "say \\\"hi\\\""},
    {"backslash", "C:\\meter\\", "C:\\\\meter\\\\"},
    {"backslash_before_n", "\\n", "\\\\n"},
    {"line_feed", "two\nlines", "two\\nlines"},
    {"degrees_celsius",
     "\xC2\xB0"
     "C",
     "\xC2\xB0"
     "C"},
    {"ohm", "\xCE\xA9", "\xCE\xA9"},
    {"not_utf8",
     "a\xFF"
     "b",
     "a\xEF\xBF\xBD"
     "b"},
    {"empty", "", ""},
};
INSTANTIATE_TEST_SUITE_P(Names, HostileName, testing::ValuesIn(kNames), test::RowName());

// What is served after a sequence of events: the lines that must be there,
// and what must not: a whole line, or a family without any sample.
struct ServeRow {
    std::string name;
    std::function<void(MetricsState&)> feed;
    Clock::duration later; // the scrape's time after kStart
    std::vector<std::string> present;
    std::vector<std::string> absent; // a sample line, or a family's name
    friend void PrintTo(const ServeRow& row, std::ostream* os) { *os << row.name; }
};

class Serving : public testing::TestWithParam<ServeRow> {};

TEST_P(Serving, ServesWhatIsTrueNow) {
    const ServeRow& row = GetParam();
    MetricsState state;
    row.feed(state);
    const std::string text = state.exposition(kStart + row.later, 3000ms);
    for (const std::string& line : row.present) {
        EXPECT_TRUE(HasLine(text, line)) << "wanted: " << line << "\nin:\n" << text;
    }
    for (const std::string& unwanted : row.absent) {
        const bool line = unwanted.find('{') != std::string::npos;
        EXPECT_FALSE(line ? HasLine(text, unwanted) : HasSampleOf(text, unwanted))
            << "unwanted: " << unwanted << "\nin:\n"
            << text;
    }
    // The same series twice would make Prometheus refuse the whole scrape.
    std::vector<std::string> lines = Lines(text);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(std::adjacent_find(lines.begin(), lines.end()), lines.end()) << text;
}

const std::string kServed = R"(velmora_reading{meter="m",function="VOLT",unit="V DC"} 1.25)";
const std::string kStamp =
    R"(velmora_reading_timestamp_seconds{meter="m",function="VOLT",unit="V DC"} 1765271700.123)";

const ServeRow kServing[] = {
    {"fresh_reading",
     [](MetricsState& s) { s.reading(Reading("m", 1.25), kStart); },
     1s,
     {kServed, kStamp, R"(velmora_readings_total{meter="m"} 1)",
      R"(velmora_overloads_total{meter="m"} 0)", R"(velmora_link_up{meter="m"} 1)"},
     {"velmora_math", "velmora_alarm_raised"}},
    {"fresh_to_the_limit",
     [](MetricsState& s) { s.reading(Reading("m", 1.25), kStart); },
     3000ms,
     {kServed, kStamp},
     {}},
    {"stale_past_the_limit",
     [](MetricsState& s) { s.reading(Reading("m", 1.25), kStart); },
     3001ms,
     {R"(velmora_readings_total{meter="m"} 1)", R"(velmora_link_up{meter="m"} 1)"},
     {"velmora_reading", "velmora_reading_timestamp_seconds"}},
    {"overload_left_out_but_counted",
     [](MetricsState& s) {
         s.reading(Reading("m", 1.25), kStart);
         s.reading(Reading("m", std::nullopt), kStart);
     },
     0s,
     {R"(velmora_readings_total{meter="m"} 2)", R"(velmora_overloads_total{meter="m"} 1)"},
     {"velmora_reading", "velmora_reading_timestamp_seconds"}},
    {"overload_status_with_a_number",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", 9.9e37);
         item.status = "overload";
         s.reading(item, kStart);
     },
     0s,
     {R"(velmora_overloads_total{meter="m"} 1)"},
     {"velmora_reading"}},
    {"link_down_leaves_readings_out",
     [](MetricsState& s) {
         s.reading(Reading("m", 1.25), kStart);
         s.linkState("m", false);
     },
     0s,
     {R"(velmora_link_up{meter="m"} 0)", R"(velmora_readings_total{meter="m"} 1)"},
     {"velmora_reading", "velmora_reading_timestamp_seconds"}},
    {"link_up_again",
     [](MetricsState& s) {
         s.reading(Reading("m", 1.25), kStart);
         s.linkState("m", false);
         s.linkState("m", true);
     },
     0s,
     {kServed, R"(velmora_link_up{meter="m"} 1)"},
     {}},
    {"link_told_before_any_reading",
     [](MetricsState& s) { s.linkState("m", true); },
     0s,
     {R"(velmora_link_up{meter="m"} 1)", R"(velmora_readings_total{meter="m"} 0)"},
     {"velmora_reading"}},
    {"link_unknown_without_readings",
     [](MetricsState& s) { s.alarmsRaised("m", {}); },
     0s,
     {R"(velmora_link_up{meter="m"} 0)"},
     {"velmora_alarm_raised"}},
    {"the_last_reading_wins",
     [](MetricsState& s) {
         s.reading(Reading("m", 7.0), kStart - 1s);
         s.reading(Reading("m", 1.25), kStart);
     },
     2500ms,
     {kServed},
     {R"(velmora_reading{meter="m",function="VOLT",unit="V DC"} 7)"}},
    {"events_are_no_readings",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", 1.25);
         item.kind = PublishedItem::Kind::Event;
         item.event = "port lost";
         s.reading(item, kStart);
     },
     0s,
     {},
     {"velmora_reading", "velmora_readings_total", "velmora_link_up"}},
    {"math_served",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", 1.25);
         item.math = 4.5;
         item.mathUnit = "dBm";
         s.reading(item, kStart);
     },
     0s,
     {R"(velmora_math{meter="m",function="VOLT",unit="dBm"} 4.5)", kServed},
     {}},
    {"math_switched_off",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", 1.25);
         item.math = 4.5;
         item.mathUnit = "dBm";
         s.reading(item, kStart);
         s.reading(Reading("m", 1.25), kStart);
     },
     0s,
     {kServed},
     {"velmora_math"}},
    {"math_of_an_overload",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", std::nullopt);
         item.math = 4.5;
         item.mathUnit = "dBm";
         s.reading(item, kStart);
     },
     0s,
     {},
     {"velmora_math"}},
    {"math_stale",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", 1.25);
         item.math = 4.5;
         item.mathUnit = "dBm";
         s.reading(item, kStart);
     },
     3001ms,
     {},
     {"velmora_math"}},
    {"math_while_the_link_is_down",
     [](MetricsState& s) {
         PublishedItem item = Reading("m", 1.25);
         item.math = 4.5;
         item.mathUnit = "dBm";
         s.reading(item, kStart);
         s.linkState("m", false);
     },
     0s,
     {},
     {"velmora_math"}},
    {"non_finite_values",
     [](MetricsState& s) {
         s.reading(Reading("m", std::numeric_limits<double>::infinity(), "A"), kStart);
         s.reading(Reading("m", -std::numeric_limits<double>::infinity(), "B"), kStart);
         s.reading(Reading("m", std::nan(""), "C"), kStart);
     },
     0s,
     {R"(velmora_reading{meter="m",function="A",unit="V DC"} +Inf)",
      R"(velmora_reading{meter="m",function="B",unit="V DC"} -Inf)",
      R"(velmora_reading{meter="m",function="C",unit="V DC"} NaN)"},
     {}},
    {"alarms_replaced_and_once_each",
     [](MetricsState& s) {
         s.reading(Reading("m", 1.25), kStart);
         s.alarmsRaised("m", {"old"});
         s.alarmsRaised("m", {"too hot", "low", "too hot"});
     },
     0s,
     {R"(velmora_alarm_raised{meter="m",alarm="too hot"} 1)",
      R"(velmora_alarm_raised{meter="m",alarm="low"} 1)"},
     {R"(velmora_alarm_raised{meter="m",alarm="old"} 1)"}},
};
INSTANTIATE_TEST_SUITE_P(Rows, Serving, testing::ValuesIn(kServing), test::RowName());

// Every family once, HELP before TYPE, with the type the format's naming rules
// go with (counters end in _total); all of one family's samples together.
TEST(MetricsState, FamiliesAreGroupedAndTyped) {
    const std::pair<std::string, std::string> kFamilies[] = {
        {"velmora_reading", "gauge"},
        {"velmora_reading_timestamp_seconds", "gauge"},
        {"velmora_math", "gauge"},
        {"velmora_readings_total", "counter"},
        {"velmora_overloads_total", "counter"},
        {"velmora_link_up", "gauge"},
        {"velmora_alarm_raised", "gauge"},
    };
    MetricsState state;
    for (const std::string meter : {"b", "a"}) {
        PublishedItem item = Reading(meter, 1.0, "VOLT");
        item.math = 2.0;
        item.mathUnit = "x";
        state.reading(item, kStart);
        state.reading(Reading(meter, 1.0, "RES", "OHM"), kStart);
        state.alarmsRaised(meter, {"z", "y"});
    }
    const std::vector<std::string> lines = Lines(state.exposition(kStart, 3000ms));
    std::vector<std::string> seen; // family of each line, in order
    for (const std::string& line : lines) {
        if (line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0) {
            const std::string rest = line.substr(7);
            seen.push_back(rest.substr(0, rest.find(' ')));
        } else {
            seen.push_back(line.substr(0, line.find('{')));
        }
    }
    size_t at = 0;
    for (const auto& [family, type] : kFamilies) {
        ASSERT_LT(at + 1, lines.size()) << family;
        EXPECT_EQ(lines[at].rfind("# HELP " + family + " ", 0), 0u) << lines[at];
        EXPECT_EQ(lines[at + 1], "# TYPE " + family + " " + type);
        at += 2;
        while (at < lines.size() && seen[at] == family && lines[at][0] != '#') {
            ++at;
        }
    }
    EXPECT_EQ(at, lines.size()) << "a line out of its family's group: " << lines[at];
}

TEST(MetricsState, SamplesComeByMeterThenFunction) {
    MetricsState state;
    state.reading(Reading("b", 1.0, "VOLT"), kStart);
    state.reading(Reading("b", 2.0, "RES", "OHM"), kStart);
    state.reading(Reading("a", 3.0, "VOLT"), kStart);
    const std::string text = state.exposition(kStart, 3000ms);
    const std::string inOrder[] = {
        R"(velmora_reading{meter="a",function="VOLT",unit="V DC"} 3)",
        R"(velmora_reading{meter="b",function="RES",unit="OHM"} 2)",
        R"(velmora_reading{meter="b",function="VOLT",unit="V DC"} 1)",
    };
    size_t from = 0;
    for (const std::string& line : inOrder) {
        const size_t at = text.find(line + "\n", from);
        ASSERT_NE(at, std::string::npos) << line << " not after the one before in:\n" << text;
        from = at + line.size();
    }
    EXPECT_EQ(text, state.exposition(kStart, 3000ms)) << "two scrapes of the same state differ";
}

// Runs promtool check metrics on `text`; its exit status and what it said.
std::pair<int, std::string> PromtoolCheck(const std::string& text) {
    test::TempFolder folder;
    test::WriteBytes(folder / "metrics.txt", text);
    std::string program = "/usr/bin/promtool";
    std::string check = "check";
    std::string metrics = "metrics";
    char* argv[] = {program.data(), check.data(), metrics.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (folder / "metrics.txt").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, (folder / "said.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return {-1, "cannot start promtool"};
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            test::ReadBytes(folder / "said.txt").value_or("")};
}

TEST(MetricsState, PromtoolFindsNothingToSayOfHostileNames) {
    if (::access("/usr/bin/promtool", X_OK) != 0) {
        GTEST_SKIP() << "install Debian's prometheus package (promtool) to run";
    }
    MetricsState state;
    std::vector<std::string> names;
    for (const NameRow& row : kNames) {
        names.push_back(row.raw);
    }
    names.push_back("tab\tand\rreturn");
    for (const std::string& name : names) {
        PublishedItem item = Reading(name, -0.000123, name, name);
        item.math = 1e300;
        item.mathUnit = name;
        state.reading(item, kStart);
        state.reading(Reading(name, std::numeric_limits<double>::infinity(), "inf " + name, name),
                      kStart);
        state.reading(Reading(name, std::nullopt, "overload " + name, name), kStart);
        state.alarmsRaised(name, {name, "second " + name});
    }
    state.linkState("down", false);
    const std::string text = state.exposition(kStart, 3000ms);
    const auto [status, said] = PromtoolCheck(text);
    EXPECT_EQ(status, 0) << said << "\nof:\n" << text;
    EXPECT_EQ(said, "") << "of:\n" << text;
}

} // namespace
} // namespace velmora
