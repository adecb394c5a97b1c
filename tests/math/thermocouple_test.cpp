// Thermocouples against the published ITS-90 tables (reference junction at 0 °C), and each
// type's forward and inverse functions against each other over the whole range.
#include "math/thermocouple.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace velmora {
namespace {

struct TablePoint {
    ThermocoupleType type;
    double celsius;
    double millivolts;
};

const TablePoint kTable[] = {
    {ThermocoupleType::K, -200, -5.891}, {ThermocoupleType::K, 100, 4.096},
    {ThermocoupleType::K, 200, 8.138},   {ThermocoupleType::K, 350, 14.293},
    {ThermocoupleType::K, 500, 20.644},  {ThermocoupleType::K, 1000, 41.276},
    {ThermocoupleType::J, 100, 5.269},   {ThermocoupleType::J, 350, 19.090},
    {ThermocoupleType::J, 500, 27.393},  {ThermocoupleType::T, -200, -5.603},
    {ThermocoupleType::T, -100, -3.379}, {ThermocoupleType::T, 20, 0.790},
    {ThermocoupleType::T, 350, 17.819},
};

TEST(Thermocouple, ForwardAndInverseMeetThePublishedTables) {
    for (const TablePoint& p : kTable) {
        const std::optional<double> mv = ThermocoupleMillivolts(p.type, p.celsius);
        ASSERT_TRUE(mv) << p.celsius;
        // The table gives microvolts.
        EXPECT_NEAR(*mv, p.millivolts, 0.0006) << static_cast<int>(p.type) << " at " << p.celsius;
        const std::optional<double> t = ThermocoupleCelsius(p.type, p.millivolts);
        ASSERT_TRUE(t) << p.millivolts;
        // The inverse functions' stated error, and the table's rounding.
        EXPECT_NEAR(*t, p.celsius, 0.1) << static_cast<int>(p.type) << " at " << p.millivolts;
    }
}

TEST(Thermocouple, TheColdJunctionsEmfIsAddedBeforeTheInverse) {
    const std::optional<double> t = ThermocoupleTemperature(ThermocoupleType::T, -4.2489, 22);
    ASSERT_TRUE(t);
    EXPECT_NEAR(*t, -100.00, 0.05);
}

TEST(Thermocouple, RoundTripsStayWithinTheInverseFunctionsError) {
    struct Range {
        ThermocoupleType type;
        double from;
        double to;
        double error; // the inverse functions' largest stated error, °C
    };
    const Range ranges[] = {
        {ThermocoupleType::K, -200, 1372, 0.06},
        {ThermocoupleType::J, -210, 1200, 0.05},
        {ThermocoupleType::T, -200, 400, 0.04},
    };
    for (const Range& r : ranges) {
        double worst = 0;
        for (double t = r.from; t <= r.to; t += 0.5) {
            const std::optional<double> mv = ThermocoupleMillivolts(r.type, t);
            ASSERT_TRUE(mv) << t;
            const std::optional<double> back = ThermocoupleCelsius(r.type, *mv);
            ASSERT_TRUE(back) << static_cast<int>(r.type) << " at " << t << " (" << *mv << " mV)";
            worst = std::max(worst, std::fabs(*back - t));
        }
        EXPECT_LE(worst, r.error) << "type " << static_cast<int>(r.type);
    }
}

TEST(Thermocouple, OutsideAFunctionsRangeThereIsNoNumber) {
    EXPECT_FALSE(ThermocoupleMillivolts(ThermocoupleType::K, 1373));
    EXPECT_FALSE(ThermocoupleMillivolts(ThermocoupleType::T, 401));
    EXPECT_FALSE(ThermocoupleMillivolts(ThermocoupleType::J, -211));
    EXPECT_FALSE(ThermocoupleCelsius(ThermocoupleType::K, -6.0)) << "below -200 °C: no inverse";
    EXPECT_FALSE(ThermocoupleCelsius(ThermocoupleType::K, 55.0));
    EXPECT_FALSE(ThermocoupleCelsius(ThermocoupleType::T, 21.0));
    EXPECT_FALSE(ThermocoupleCelsius(ThermocoupleType::J, 70.0));
    EXPECT_FALSE(ThermocoupleCelsius(ThermocoupleType::J, std::nan("")));
    EXPECT_FALSE(ThermocoupleTemperature(ThermocoupleType::T, 20.5, 22)) << "the sum is beyond";
    EXPECT_EQ(ThermocoupleNamed("k"), ThermocoupleType::K);
    EXPECT_EQ(ThermocoupleNamed("E"), std::nullopt);
}

} // namespace
} // namespace velmora
