// Checks that the two displays show only what a delivery from the meter may put there.
#include "tests/faults/display_check.h"

#include "text/convert_error.h"
#include "text/real_conversion.h"
#include "text/trim.h"

#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

namespace velmora::test {

namespace {

constexpr std::array<std::string_view, 9> kUnits{"",    "V DC",  "V AC", "A DC", "A AC",
                                                 "OHM", "OHM4W", "Hz",   "S"};
constexpr std::array<std::pair<std::string_view, long double>, 5> kPrefixes{
    {{"", 1.0L}, {"m", 1e-3L}, {"u", 1e-6L}, {"K", 1e3L}, {"M", 1e6L}}};

std::optional<long double> Reading(std::string_view text) {
    try {
        return ParseReal(text, '.');
    } catch (const EConvertError&) {
        return std::nullopt;
    }
}

bool KnownUnit(std::string_view unit) {
    for (std::string_view known : kUnits) {
        if (unit == known) {
            return true;
        }
    }
    return false;
}

// True when `shown` on the upper display with `prefix` stands for `value`.
bool ShowsValue(const std::string& shown, std::string_view prefix, long double factor,
                long double value) {
    if (shown == "999999999" && prefix == "M" && std::fabs(value) > 1e9L * 0.999L) {
        return true;
    }
    const std::optional<long double> parsed = Reading(shown);
    if (!parsed) {
        return false;
    }
    const long double expected = value / factor;
    return std::fabs(*parsed - expected) <= 1e-14L * std::fabs(expected) + 1e-4900L &&
           std::fabs(expected) <= 1000.0L * (1 + 1e-15L);
}

} // namespace

std::string DisplayFault(std::string_view chunk, const DisplayTexts& before,
                         const DisplayTexts& after) {
    const std::string_view untilZero(chunk.data(), strnlen(chunk.data(), chunk.size()));
    const std::string reply = TrimBlanks(untilZero);
    const std::optional<long double> value =
        (!reply.empty() && reply.front() == '"') ? std::nullopt : Reading(reply);
    if (!value) {
        if (after == before) {
            return {};
        }
        return "the displays changed to '" + after.upper + "' / '" + after.lower +
               "' for a reply that is no reading: '" + reply + "'";
    }
    if (after.lower.compare(0, 8, "        ") == 0) {
        const std::string_view rest = std::string_view(after.lower).substr(8);
        for (const auto& [prefix, factor] : kPrefixes) {
            if (rest.substr(0, prefix.size()) == prefix && KnownUnit(rest.substr(prefix.size())) &&
                ShowsValue(after.upper, prefix, factor, *value)) {
                return {};
            }
        }
    }
    return "the displays show '" + after.upper + "' / '" + after.lower + "' for the reading '" +
           reply + "'";
}

} // namespace velmora::test
