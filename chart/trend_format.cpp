// SI-prefixed figures for the statistics panel and the hover text.
#include "chart/trend_format.h"

#include "text/regional_settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

namespace velmora {

namespace {

// Index 4 is no prefix; each step is a factor of 1000.
constexpr std::array<const char*, 9> kPrefixes = {"p", "n", "u", "m", "", "k", "M", "G", "T"};
constexpr int kNoPrefix = 4;
constexpr int kLowestStep = -kNoPrefix;
constexpr int kHighestStep = static_cast<int>(kPrefixes.size()) - 1 - kNoPrefix;

// Locale-independent fixed notation; the caller puts in the decimal mark.
std::string Fixed(double value, int decimals) {
    char text[400]; // room for the widest double in fixed notation
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

std::string Join(std::string number, const char* prefix, const std::string& unit,
                 char decimalMark) {
    std::replace(number.begin(), number.end(), '.', decimalMark);
    const std::string suffix = prefix + unit;
    return suffix.empty() ? number : number + " " + suffix;
}

} // namespace

std::string FormatWithPrefix(double value, const std::string& unit, int significantDigits,
                             char decimalMark) {
    if (!std::isfinite(value)) {
        return "-";
    }
    significantDigits = std::clamp(significantDigits, 1, 17);
    if (value == 0) {
        return Join(Fixed(0.0, significantDigits - 1), "", unit, decimalMark);
    }
    int step = static_cast<int>(std::floor(std::log10(std::fabs(value)) / 3.0));
    step = std::clamp(step, kLowestStep, kHighestStep);
    for (;;) {
        const double mantissa = value / std::pow(1000.0, step);
        const int integerDigits =
            std::max(1, static_cast<int>(std::floor(std::log10(std::fabs(mantissa)))) + 1);
        const int decimals = std::max(0, significantDigits - integerDigits);
        const std::string number = Fixed(mantissa, decimals);
        // Rounding may carry into a fourth digit (999.99996 -> 1000.00): one
        // prefix up then, while there is one.
        double shown = 0;
        std::from_chars(number.data(), number.data() + number.size(), shown);
        if (std::fabs(shown) >= 1000.0 && step < kHighestStep) {
            ++step;
            continue;
        }
        return Join(number, kPrefixes[static_cast<size_t>(step + kNoPrefix)], unit, decimalMark);
    }
}

std::string FormatWithPrefix(double value, const std::string& unit, int significantDigits) {
    return FormatWithPrefix(value, unit, significantDigits, CurrentRegionalSettings().decimalMark);
}

} // namespace velmora
