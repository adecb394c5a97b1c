// Resistance thermometers and thermistors.
#include "math/sensors.h"

#include <cmath>

namespace velmora {

namespace {

constexpr double kLowestRtd = -200;
constexpr double kHighestRtd = 850;
constexpr double kZeroKelvin = 273.15;

} // namespace

std::optional<double> RtdOhms(const CallendarVanDusen& rtd, double t) {
    if (!std::isfinite(t) || t < kLowestRtd || t > kHighestRtd) {
        return std::nullopt;
    }
    double ratio = 1 + rtd.a * t + rtd.b * t * t;
    if (t < 0) {
        ratio += rtd.c * (t - 100) * t * t * t;
    }
    return rtd.r0 * ratio;
}

std::optional<double> RtdCelsius(const CallendarVanDusen& rtd, double ohms) {
    if (!std::isfinite(ohms) || rtd.r0 <= 0) {
        return std::nullopt;
    }
    // Above 0 °C the equation is a quadratic; below, its root is the start
    // of a few Newton steps with the C term.
    const double ratio = ohms / rtd.r0;
    const double discriminant = rtd.a * rtd.a - 4 * rtd.b * (1 - ratio);
    if (discriminant < 0) {
        return std::nullopt;
    }
    double t = rtd.b != 0 ? (-rtd.a + std::sqrt(discriminant)) / (2 * rtd.b) : (ratio - 1) / rtd.a;
    if (t < 0) {
        for (int i = 0; i < 20; ++i) {
            const double f = 1 + rtd.a * t + rtd.b * t * t + rtd.c * (t - 100) * t * t * t - ratio;
            const double slope = rtd.a + 2 * rtd.b * t + rtd.c * (4 * t * t * t - 300 * t * t);
            const double step = f / slope;
            t -= step;
            if (std::fabs(step) < 1e-10) {
                break;
            }
        }
    }
    if (!std::isfinite(t) || t < kLowestRtd - 1e-9 || t > kHighestRtd + 1e-9) {
        return std::nullopt;
    }
    return t;
}

std::optional<double> ThermistorCelsius(const SteinhartHart& s, double ohms) {
    if (!(ohms > 0) || !std::isfinite(ohms)) {
        return std::nullopt;
    }
    const double l = std::log(ohms);
    const double inverse = s.a + s.b * l + s.c * l * l * l;
    if (!(inverse > 0)) {
        return std::nullopt;
    }
    return 1 / inverse - kZeroKelvin;
}

std::optional<double> ThermistorCelsius(const BetaThermistor& b, double ohms) {
    if (!(ohms > 0) || !std::isfinite(ohms) || b.r0 <= 0 || b.beta == 0) {
        return std::nullopt;
    }
    const double inverse = 1 / (b.t0Celsius + kZeroKelvin) + std::log(ohms / b.r0) / b.beta;
    if (!(inverse > 0)) {
        return std::nullopt;
    }
    return 1 / inverse - kZeroKelvin;
}

} // namespace velmora
