// The /metrics page's text: one page holding every case of what is served and what is left out,
// names escaped as the exposition format has them, and Debian's promtool judging hostile names.
#include "publish/metrics_state.h"

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;

const MetricsState::Clock::time_point kNow = MetricsState::Clock::time_point() + 1000h;
constexpr double kInf = std::numeric_limits<double>::infinity();

PublishedItem Reading(std::string meter, std::optional<double> value, std::string function = "VOLT",
                      std::string unit = "V DC") {
    PublishedItem item;
    item.meter = std::move(meter);
    item.value = value;
    item.status = value ? "ok" : "overload";
    item.function = std::move(function);
    item.unit = std::move(unit);
    item.timeNs = 1765271700123000000; // 2025-12-09 09:15:00.123 UTC
    return item;
}

PublishedItem WithMath(PublishedItem item, double math) {
    item.math = math;
    item.mathUnit = "dBm";
    return item;
}

std::string WithoutHelp(const std::string& page) {
    std::string kept;
    for (size_t from = 0, end; (end = page.find('\n', from)) != std::string::npos; from = end + 1) {
        if (page.compare(from, 7, "# HELP ") != 0) {
            kept += page.substr(from, end + 1 - from);
        }
    }
    return kept;
}

// Each meter is one case; the page is written out by hand from the format's
// rules: families in a fixed order, each once with its samples together,
// samples by meter, then function; the left-out ones simply missing.
TEST(MetricsState, ServesWhatIsTrueNowAndCountsTheRest) {
    MetricsState s;
    s.reading(Reading("a", 7.0), kNow - 4000ms);                 // replaced by the next
    s.reading(WithMath(Reading("a", 1.25), 4.5), kNow - 3000ms); // fresh to the limit
    s.reading(Reading("a", 2.0, "RES", "OHM"), kNow);
    s.alarmsRaised("a", {"old"});
    s.alarmsRaised("a", {"too hot", "low", "too hot"});
    s.reading(WithMath(Reading("b_stale", 1.0), 4.5), kNow - 3001ms);
    s.reading(Reading("c_overload", 1.0), kNow);
    s.reading(Reading("c_overload", std::nullopt), kNow);
    PublishedItem overRange = Reading("c_overload", 9.9e37, "RES", "OHM");
    overRange.status = "overload";
    s.reading(overRange, kNow);
    s.reading(WithMath(Reading("d_down", 1.0), 4.5), kNow);
    s.linkState("d_down", false);
    s.reading(Reading("e_back", 1.0), kNow);
    s.linkState("e_back", false);
    s.linkState("e_back", true);
    s.linkState("f_told", true);
    s.alarmsRaised("g_alarm_only", {"x"});
    s.reading(WithMath(Reading("h_math_off", 1.0), 4.5), kNow);
    s.reading(Reading("h_math_off", 1.0), kNow);
    s.reading(Reading("i_inf", kInf, "A"), kNow);
    s.reading(Reading("i_inf", -kInf, "B"), kNow);
    s.reading(Reading("i_inf", std::nan(""), "C"), kNow);
    PublishedItem event = Reading("j_event", 1.0);
    event.kind = PublishedItem::Kind::Event;
    s.reading(event, kNow);

    const std::string page = s.exposition(kNow, 3000ms);
    EXPECT_EQ(WithoutHelp(page), R"(# TYPE velmora_reading gauge
velmora_reading{meter="a",function="RES",unit="OHM"} 2
velmora_reading{meter="a",function="VOLT",unit="V DC"} 1.25
velmora_reading{meter="e_back",function="VOLT",unit="V DC"} 1
velmora_reading{meter="h_math_off",function="VOLT",unit="V DC"} 1
velmora_reading{meter="i_inf",function="A",unit="V DC"} +Inf
velmora_reading{meter="i_inf",function="B",unit="V DC"} -Inf
velmora_reading{meter="i_inf",function="C",unit="V DC"} NaN
# TYPE velmora_reading_timestamp_seconds gauge
velmora_reading_timestamp_seconds{meter="a",function="RES",unit="OHM"} 1765271700.123
velmora_reading_timestamp_seconds{meter="a",function="VOLT",unit="V DC"} 1765271700.123
velmora_reading_timestamp_seconds{meter="e_back",function="VOLT",unit="V DC"} 1765271700.123
velmora_reading_timestamp_seconds{meter="h_math_off",function="VOLT",unit="V DC"} 1765271700.123
velmora_reading_timestamp_seconds{meter="i_inf",function="A",unit="V DC"} 1765271700.123
velmora_reading_timestamp_seconds{meter="i_inf",function="B",unit="V DC"} 1765271700.123
velmora_reading_timestamp_seconds{meter="i_inf",function="C",unit="V DC"} 1765271700.123
# TYPE velmora_math gauge
velmora_math{meter="a",function="VOLT",unit="dBm"} 4.5
# TYPE velmora_readings_total counter
velmora_readings_total{meter="a"} 3
velmora_readings_total{meter="b_stale"} 1
velmora_readings_total{meter="c_overload"} 3
velmora_readings_total{meter="d_down"} 1
velmora_readings_total{meter="e_back"} 1
velmora_readings_total{meter="f_told"} 0
velmora_readings_total{meter="g_alarm_only"} 0
velmora_readings_total{meter="h_math_off"} 2
velmora_readings_total{meter="i_inf"} 3
# TYPE velmora_overloads_total counter
velmora_overloads_total{meter="a"} 0
velmora_overloads_total{meter="b_stale"} 0
velmora_overloads_total{meter="c_overload"} 2
velmora_overloads_total{meter="d_down"} 0
velmora_overloads_total{meter="e_back"} 0
velmora_overloads_total{meter="f_told"} 0
velmora_overloads_total{meter="g_alarm_only"} 0
velmora_overloads_total{meter="h_math_off"} 0
velmora_overloads_total{meter="i_inf"} 0
# TYPE velmora_link_up gauge
velmora_link_up{meter="a"} 1
velmora_link_up{meter="b_stale"} 1
velmora_link_up{meter="c_overload"} 1
velmora_link_up{meter="d_down"} 0
velmora_link_up{meter="e_back"} 1
velmora_link_up{meter="f_told"} 1
velmora_link_up{meter="g_alarm_only"} 0
velmora_link_up{meter="h_math_off"} 1
velmora_link_up{meter="i_inf"} 1
# TYPE velmora_alarm_raised gauge
velmora_alarm_raised{meter="a",alarm="low"} 1
velmora_alarm_raised{meter="a",alarm="too hot"} 1
velmora_alarm_raised{meter="g_alarm_only",alarm="x"} 1
)");
}

// Inside a label value's quotes the format escapes backslash, quote and line
// feed, and nothing else; bytes that are not UTF-8 become U+FFFD.
struct NameRow {
    std::string name;
    std::string raw;
    std::string escaped;
    friend void PrintTo(const NameRow& row, std::ostream* os) { *os << row.name; }
};

const NameRow kNames[] = {
    {"spaces_commas_equals", "bench 1, a=b", "bench 1, a=b"},
    {"braces_and_hash", "a}b{c # HELP", "a}b{c # HELP"},
    {"quotes", "say \"hi\"", "say \\\"hi\\\""},
    {"backslashes", "C:\\meter\\", "C:\\\\meter\\\\"},
    {"backslash_before_n", "\\n", "\\\\n"},
    {"line_feed", "two\nlines", "two\\nlines"},
    {"degrees_celsius", "\u00B0C", "\u00B0C"},
    {"ohm", "\u03A9", "\u03A9"},
    {"not_utf8", "a\xFF", "a\xEF\xBF\xBD"},
    {"empty", "", ""},
};

class HostileName : public testing::TestWithParam<NameRow> {};

TEST_P(HostileName, IsEscapedInEveryLabel) {
    MetricsState state;
    PublishedItem item = Reading(GetParam().raw, 1.5, GetParam().raw, GetParam().raw);
    item.math = 2.5;
    item.mathUnit = GetParam().raw;
    state.reading(item, kNow);
    state.alarmsRaised(GetParam().raw, {GetParam().raw});
    const std::string e = GetParam().escaped;
    const std::string page = state.exposition(kNow, 3000ms);
    for (const std::string& line : {
             "velmora_reading{meter=\"" + e + "\",function=\"" + e + "\",unit=\"" + e + "\"} 1.5",
             "velmora_math{meter=\"" + e + "\",function=\"" + e + "\",unit=\"" + e + "\"} 2.5",
             "velmora_readings_total{meter=\"" + e + "\"} 1",
             "velmora_alarm_raised{meter=\"" + e + "\",alarm=\"" + e + "\"} 1",
         }) {
        EXPECT_NE(page.find("\n" + line + "\n"), std::string::npos) << line << "\nin:\n" << page;
    }
}
INSTANTIATE_TEST_SUITE_P(Names, HostileName, testing::ValuesIn(kNames), test::RowName());

// promtool parses the page as Prometheus does and lints it (help texts,
// counters' names): it must have nothing to say.
TEST(MetricsState, PromtoolFindsNothingToSayOfHostileNames) {
    if (::access("/usr/bin/promtool", X_OK) != 0) {
        GTEST_SKIP() << "install Debian's prometheus package (promtool) to run";
    }
    MetricsState state;
    for (const NameRow& row : kNames) {
        state.reading(WithMath(Reading(row.raw, -0.000123, row.raw, row.raw), 1e300), kNow);
        state.reading(Reading(row.raw, kInf, "inf " + row.raw, row.raw), kNow);
        state.alarmsRaised(row.raw, {row.raw, "second " + row.raw});
    }
    state.reading(Reading("tab\tand\rreturn", 1.0), kNow);
    const std::string page = state.exposition(kNow, 3000ms);
    test::TempFolder folder;
    test::WriteBytes(folder / "page.txt", page);
    const std::string command = "/usr/bin/promtool check metrics < '" + folder / "page.txt" +
                                "' > '" + folder / "said.txt" + "' 2>&1";
    const int status = std::system(command.c_str());
    const std::string said = test::ReadBytes(folder / "said.txt").value_or("");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << said << "\nof:\n" << page;
    EXPECT_EQ(said, "") << "of:\n" << page;
}

} // namespace
} // namespace velmora
