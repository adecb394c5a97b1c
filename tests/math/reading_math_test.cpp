// The math on the readings as they come: a null kept per function across a change and an
// overload, counts and their reset, the displays' texts and units.
#include "math/reading_math.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(ReadingMath, ANullIsKeptPerFunctionAcrossAChangeAndAnOverload) {
    ReadingMath math;
    EXPECT_FALSE(math.nullNow("RES")) << "no reading yet";
    EXPECT_FALSE(math.take("RES", 0.42L, "OHM")) << "no math on";
    EXPECT_TRUE(math.nullNow("RES"));
    EXPECT_EQ(math.take("RES", 100.42L, "OHM")->value, 100.42 - 0.42);
    math.take("VOLT", 1.5L, "V DC"); // another function, then back
    EXPECT_FALSE(math.take("VOLT", 1.5L, "V DC")) << "the null is the ohms' own";
    EXPECT_EQ(math.take("RES", 9.9E37L, "OHM")->status, MathResult::Status::Overload);
    EXPECT_FALSE(math.nullNow("")) << "a reading of a function not named yet";
    EXPECT_TRUE(math.nullNow("RES")) << "the overload is no offset: the last reading is";
    EXPECT_NEAR(math.take("RES", 101.0L, "OHM")->value, 101.0 - 100.42, 1e-12);
    math.clearNull("RES");
    EXPECT_FALSE(math.take("RES", 101.0L, "OHM"));
}

TEST(ReadingMath, CountsAreEachFunctionsUntilReset) {
    ReadingMath math;
    MathSettings limits;
    limits.limitsOn = true;
    limits.limitLow = 1;
    limits.limitHigh = 2;
    math.setSettings({{"VOLT", limits}});
    for (const long double v : {0.5L, 1.0L, 1.5L, 2.5L, 9.9E37L}) {
        math.take("VOLT", v, "V DC");
    }
    math.take("RES", 0.5L, "OHM");
    const LimitCounts counts = math.counts("VOLT");
    EXPECT_EQ(counts.low, 1u);
    EXPECT_EQ(counts.pass, 2u);
    EXPECT_EQ(counts.high, 1u) << "the overload is in no count";
    EXPECT_EQ(math.counts("RES").total(), 0u);
    math.resetCounts();
    EXPECT_EQ(math.counts("VOLT").total(), 0u);
    math.take("VOLT", 1.5L, "V DC");
    EXPECT_EQ(math.counts("VOLT").pass, 1u);
}

TEST(ReadingMath, TheDisplaysShowTheNumberTheUnitAndNeverAnOverloadAsANumber) {
    struct DisplayCase {
        MathResult result;
        MathConversion conversion;
        const char* upper;
        const char* lower;
    };
    const DisplayCase cases[] = {
        {{MathResult::Status::Value, 99.996, "\u00B0C", {}},
         MathConversion::Thermocouple,
         "100.00",
         "        \xB0"
         "C"},
        {{MathResult::Status::Value, -3.0104, "dBm", {}},
         MathConversion::Dbm,
         "-3.010",
         "        dBm"},
        {{MathResult::Status::Value, 12.3, "mA", {}}, MathConversion::Scale, "12.3", "        mA"},
        {{MathResult::Status::Value, 0.000123456789, "V DC", {}},
         MathConversion::None,
         "0.0001234568",
         "        V DC"},
        {{MathResult::Status::Overload, 0, "\u00B0C", {}},
         MathConversion::Rtd,
         "OVERLOAD",
         "        \xB0"
         "C"},
        {{MathResult::Status::OutOfRange, 0, "\u00B0C", {}},
         MathConversion::Thermocouple,
         "OUT RANGE",
         "        \xB0"
         "C"},
    };
    for (const DisplayCase& c : cases) {
        const MathDisplayTexts texts = MathDisplay(c.result, c.conversion);
        EXPECT_EQ(texts.upper, c.upper);
        EXPECT_EQ(texts.lower, c.lower);
    }
}

TEST(ReadingMath, UnitsComeInTheDisplaysCharacterSet) {
    const std::pair<const char*, const char*> cases[] = {
        {"\u00B0C", "\xB0"
                    "C"},
        {"\u00B5A", "\xB5"
                    "A"},
        {"k\u03A9", "kOHM"},
        {"\u2126", "OHM"},
        {"\u03BCV", "uV"},
        {"mA", "mA"},
        {"\u20AC", "?"},
        {"\xC3", "?"},
    };
    for (const auto& [utf8, lcd] : cases) {
        EXPECT_EQ(LcdUnit(utf8), lcd) << utf8;
    }
}

} // namespace
} // namespace velmora
