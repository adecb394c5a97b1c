// The math on one reading: each conversion from a value worked out by hand, overloads and inputs
// out of range through every conversion, limits at their boundaries.
#include "math/math_chain.h"

#include <gtest/gtest.h>

#include <functional>

namespace velmora {
namespace {

MathSettings With(const std::function<void(MathSettings&)>& change) {
    MathSettings m;
    change(m);
    return m;
}

struct ChainCase {
    const char* name;
    MathSettings math;
    long double raw;
    const char* rawUnit;
    double value;
    double tolerance;
    const char* unit;
};

TEST(MathChain, EachConversionGivesItsValueAndUnit) {
    const ChainCase cases[] = {
        {"null", With([](MathSettings& m) {
             m.nullOn = true;
             m.nullOffset = 0.5;
         }),
         1.5L, "V DC", 1.0, 1e-12, "V DC"},
        {"shunt to mA", With([](MathSettings& m) {
             m.conversion = MathConversion::Scale;
             m.scale = 1000;
             m.scaleUnit = "mA";
         }),
         0.0123L, "V DC", 12.3, 1e-9, "mA"},
        {"scale with an offset, the reading's unit", With([](MathSettings& m) {
             m.conversion = MathConversion::Scale;
             m.scale = 2;
             m.offset = -1;
         }),
         3.0L, "OHM", 5.0, 1e-12, "OHM"},
        {"dB", With([](MathSettings& m) { m.conversion = MathConversion::Db; }), 10.0L, "V AC",
         20.0, 1e-9, "dB"},
        {"dB of a negative value", With([](MathSettings& m) { m.conversion = MathConversion::Db; }),
         -10.0L, "V DC", 20.0, 1e-9, "dB"},
        {"dB against a reference", With([](MathSettings& m) {
             m.conversion = MathConversion::Db;
             m.dbReference = 0.5;
         }),
         0.05L, "V AC", -20.0, 1e-9, "dB"},
        {"dBm at 600 ohms", With([](MathSettings& m) { m.conversion = MathConversion::Dbm; }),
         0.7746L, "V AC", 0.0, 0.001, "dBm"},
        {"dBm at 50 ohms", With([](MathSettings& m) {
             m.conversion = MathConversion::Dbm;
             m.dbmImpedance = 50;
         }),
         1.0L, "V AC", 13.0103, 0.0001, "dBm"},
        {"Pt100 on 4-wire ohms", With([](MathSettings& m) { m.conversion = MathConversion::Rtd; }),
         138.5055L, "OHM", 100.0, 0.001, "\u00B0C"},
        {"Pt100 on 2-wire ohms, the leads nulled", With([](MathSettings& m) {
             m.conversion = MathConversion::Rtd;
             m.nullOn = true;
             m.nullOffset = 0.42;
         }),
         100.42L, "OHM", 0.0, 0.001, "\u00B0C"},
        {"type K, cold junction at 0",
         With([](MathSettings& m) { m.conversion = MathConversion::Thermocouple; }), 0.004096L,
         "V DC", 100.0, 0.1, "\u00B0C"},
        {"type T, cold junction at 22", With([](MathSettings& m) {
             m.conversion = MathConversion::Thermocouple;
             m.thermocouple = ThermocoupleType::T;
             m.coldJunctionCelsius = 22;
         }),
         -0.0042489L, "V DC", -100.0, 0.05, "\u00B0C"},
    };
    for (const ChainCase& c : cases) {
        const MathResult r = ApplyMath(c.math, c.raw, c.rawUnit);
        EXPECT_EQ(r.status, MathResult::Status::Value) << c.name;
        EXPECT_NEAR(r.value, c.value, c.tolerance) << c.name;
        EXPECT_EQ(r.unit, c.unit) << c.name;
        EXPECT_FALSE(r.limit) << c.name << ": no limits asked for";
        EXPECT_EQ(DerivedNumber(r), r.value) << c.name;
    }
}

TEST(MathChain, AnOverloadStaysOneAndAnInputOutOfRangeIsNoNumber) {
    for (const MathConversion conversion :
         {MathConversion::None, MathConversion::Scale, MathConversion::Db, MathConversion::Dbm,
          MathConversion::Rtd, MathConversion::SteinhartHart, MathConversion::Beta,
          MathConversion::Thermocouple}) {
        MathSettings m;
        m.conversion = conversion;
        m.nullOn = true;
        m.nullOffset = 1;
        m.limitsOn = true;
        m.limitHigh = 1;
        for (const long double overload : {9.9E37L, -9.9E37L}) {
            const MathResult r = ApplyMath(m, overload, "V DC");
            EXPECT_EQ(r.status, MathResult::Status::Overload) << static_cast<int>(conversion);
            EXPECT_FALSE(r.limit) << "an overload is tested against no limit";
            EXPECT_EQ(DerivedNumber(r), std::nullopt) << "no number for alarms or CALC:DATA?";
        }
    }
    const std::pair<MathConversion, long double> outside[] = {
        {MathConversion::Rtd, 10.0L},          {MathConversion::Rtd, 500.0L},
        {MathConversion::Thermocouple, 0.1L},  {MathConversion::Db, 0.0L},
        {MathConversion::Dbm, 0.0L},           {MathConversion::Beta, -1.0L},
        {MathConversion::SteinhartHart, 0.0L},
    };
    for (const auto& [conversion, raw] : outside) {
        MathSettings m;
        m.conversion = conversion;
        const MathResult r = ApplyMath(m, raw, "OHM");
        EXPECT_EQ(r.status, MathResult::Status::OutOfRange)
            << static_cast<int>(conversion) << " of " << static_cast<double>(raw);
        EXPECT_EQ(DerivedNumber(r), std::nullopt);
    }
}

TEST(MathChain, AValueOnALimitPassesAndTheCountsAddUp) {
    MathSettings m;
    m.limitsOn = true;
    m.limitLow = 1;
    m.limitHigh = 2;
    const std::pair<long double, LimitVerdict> cases[] = {
        {1.0L, LimitVerdict::Pass},  {2.0L, LimitVerdict::Pass},   {1.5L, LimitVerdict::Pass},
        {0.999L, LimitVerdict::Low}, {2.001L, LimitVerdict::High}, {-5.0L, LimitVerdict::Low},
    };
    LimitCounts counts;
    for (const auto& [raw, verdict] : cases) {
        const MathResult r = ApplyMath(m, raw, "V DC");
        ASSERT_TRUE(r.limit) << static_cast<double>(raw);
        EXPECT_EQ(*r.limit, verdict) << static_cast<double>(raw);
        counts.add(*r.limit);
    }
    EXPECT_EQ(counts.pass, 3u);
    EXPECT_EQ(counts.low, 2u);
    EXPECT_EQ(counts.high, 1u);
    EXPECT_EQ(counts.total(), 6u);
    EXPECT_STREQ(LimitVerdictText(LimitVerdict::High), "high");
    m.limitLow.reset();
    EXPECT_EQ(ApplyMath(m, -1e30L, "V DC").limit, LimitVerdict::Pass) << "no low limit";
}

TEST(MathChain, TheSummarySaysWhatIsOn) {
    EXPECT_EQ(MathSummary({}), "");
    EXPECT_EQ(MathSummary(With([](MathSettings& m) {
                  m.nullOn = true;
                  m.conversion = MathConversion::Thermocouple;
                  m.limitsOn = true;
              })),
              "null + type K + limits");
    EXPECT_EQ(MathSummary(With([](MathSettings& m) {
                  m.conversion = MathConversion::Rtd;
                  m.rtd.r0 = 1000;
              })),
              "Pt1000");
}

} // namespace
} // namespace velmora
