// Limit tests: each reading passes or is low or high, and the counts of each.
#pragma once

#include <cstdint>
#include <optional>

namespace velmora {

enum class LimitVerdict { Pass, Low, High };

// "pass", "low", "high": the recording's limit column.
const char* LimitVerdictText(LimitVerdict verdict);

// A value equal to a limit passes; a missing limit is no limit.
LimitVerdict TestLimits(double value, std::optional<double> low, std::optional<double> high);

struct LimitCounts {
    uint64_t pass = 0;
    uint64_t low = 0;
    uint64_t high = 0;
    void add(LimitVerdict verdict);
    uint64_t total() const { return pass + low + high; }
};

} // namespace velmora
