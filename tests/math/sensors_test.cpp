// RTDs against IEC 60751's table, and thermistors against their own equations' known points.
#include "math/sensors.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

TEST(Rtd, Pt100MeetsTheTable) {
    const CallendarVanDusen pt100;
    const std::pair<double, double> table[] = {{18.5201, -200}, {100, 0}, {138.5055, 100}};
    for (const auto& [ohms, celsius] : table) {
        const std::optional<double> t = RtdCelsius(pt100, ohms);
        ASSERT_TRUE(t) << ohms;
        EXPECT_NEAR(*t, celsius, 0.001) << ohms;
        const std::optional<double> r = RtdOhms(pt100, celsius);
        ASSERT_TRUE(r);
        EXPECT_NEAR(*r, ohms, 0.0001) << celsius;
    }
    CallendarVanDusen pt1000;
    pt1000.r0 = 1000;
    EXPECT_NEAR(RtdCelsius(pt1000, 1385.055).value_or(0), 100, 0.001);
    EXPECT_FALSE(RtdCelsius(pt100, 17.0)) << "below -200 °C";
    EXPECT_FALSE(RtdCelsius(pt100, 400.0)) << "above 850 °C";
    EXPECT_FALSE(RtdOhms(pt100, 851));
    // No B or C: a linear sensor, R = R0 (1 + A t).
    CallendarVanDusen linear;
    linear.a = 0.00385;
    linear.b = 0;
    linear.c = 0;
    EXPECT_NEAR(RtdCelsius(linear, 138.5).value_or(0), 100, 1e-9);
    EXPECT_NEAR(RtdCelsius(linear, 80.75).value_or(0), -50, 1e-6);
}

TEST(Rtd, EveryDegreeComesBack) {
    const CallendarVanDusen pt100;
    for (double t = -200; t <= 850; t += 1) {
        EXPECT_NEAR(RtdCelsius(pt100, RtdOhms(pt100, t).value()).value_or(1e9), t, 1e-6) << t;
    }
}

TEST(Thermistor, BothFormsGiveTheirReferencePoints) {
    const BetaThermistor beta; // 10 kOhm at 25 °C, beta 3950
    EXPECT_NEAR(ThermistorCelsius(beta, 10000).value_or(0), 25, 1e-9);
    // 1/T = 1/298.15 + ln(R/R0)/3950 at 50 °C: R = 10000 exp(3950 (1/323.15 - 1/298.15)).
    const double at50 = 10000 * std::exp(3950 * (1 / 323.15 - 1 / 298.15));
    EXPECT_NEAR(ThermistorCelsius(beta, at50).value_or(0), 50, 1e-9);
    SteinhartHart sh;
    sh.a = 1 / 298.15;
    sh.b = 0;
    sh.c = 0;
    EXPECT_NEAR(ThermistorCelsius(sh, 12345).value_or(0), 25, 1e-9);
    EXPECT_FALSE(ThermistorCelsius(beta, 0));
    EXPECT_FALSE(ThermistorCelsius(beta, -5));
    EXPECT_FALSE(ThermistorCelsius(SteinhartHart{}, 0));
}

} // namespace
} // namespace velmora
