// Limit tests.
#include "math/limit_test.h"

namespace velmora {

const char* LimitVerdictText(LimitVerdict verdict) {
    switch (verdict) {
    case LimitVerdict::Low:
        return "low";
    case LimitVerdict::High:
        return "high";
    case LimitVerdict::Pass:
        break;
    }
    return "pass";
}

LimitVerdict TestLimits(double value, std::optional<double> low, std::optional<double> high) {
    if (low && value < *low) {
        return LimitVerdict::Low;
    }
    if (high && value > *high) {
        return LimitVerdict::High;
    }
    return LimitVerdict::Pass;
}

void LimitCounts::add(LimitVerdict verdict) {
    switch (verdict) {
    case LimitVerdict::Pass:
        ++pass;
        break;
    case LimitVerdict::Low:
        ++low;
        break;
    case LimitVerdict::High:
        ++high;
        break;
    }
}

} // namespace velmora
