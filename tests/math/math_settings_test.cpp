// The [Math] section: written math reads back, a hand-edited section that does not read says why.
#include "math/math_settings.h"
#include "settings/ini_file.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

TEST(MathSettings, WrittenMathReadsBack) {
    test::TempFolder folder;
    IniFile ini(folder / "velmora.ini");
    std::map<std::string, MathSettings> math;
    MathSettings& volts = math["VOLT"];
    volts.conversion = MathConversion::Thermocouple;
    volts.thermocouple = ThermocoupleType::J;
    volts.coldJunctionCelsius = 22.5;
    volts.nullOn = true;
    volts.nullOffset = 1.5e-5;
    volts.limitsOn = true;
    volts.limitLow = 20;
    volts.limitHigh = 30;
    MathSettings& ohms = math["FRES"];
    ohms.conversion = MathConversion::Rtd;
    ohms.rtd.r0 = 1000;
    MathSettings& shunt = math["CURR"];
    shunt.conversion = MathConversion::Scale;
    shunt.scale = 1000;
    shunt.scaleUnit = "mA";
    math["RES"] = {}; // nothing on: not written
    WriteMathSettings(ini, math);
    const MathSettingsRead read = ReadMathSettings(ini);
    ASSERT_FALSE(read.problem) << *read.problem;
    math.erase("RES");
    EXPECT_EQ(read.functions, math);
    EXPECT_EQ(ini.readValue(kMathSection, "Functions", ""), "CURR,FRES,VOLT");
    EXPECT_EQ(ini.readValue(kMathSection, "VOLT.Type", ""), "J");
}

TEST(MathSettings, ASectionThatDoesNotReadSaysWhyAndGivesNoMath) {
    const std::pair<const char*, const char*> cases[] = {
        {"VOLT.Conversion=dbx", "VOLT: Conversion \"dbx\" is none of none, scale, db, dbm, rtd, "
                                "steinhart-hart, beta, thermocouple"},
        {"VOLT.Null=abc", "VOLT: Null \"abc\" is not a number"},
        {"VOLT.Type=E", "VOLT: Type \"E\" is none of K, J, T"},
        {"VOLT.Low=5\r\nVOLT.High=1", "VOLT: Low is above High"},
    };
    for (const auto& [lines, problem] : cases) {
        test::TempFolder folder;
        test::WriteBytes(folder / "velmora.ini",
                         std::string("[Math]\r\nFunctions=VOLT\r\n") + lines + "\r\n");
        IniFile ini(folder / "velmora.ini");
        const MathSettingsRead read = ReadMathSettings(ini);
        EXPECT_EQ(read.problem, problem) << lines;
        EXPECT_TRUE(read.functions.empty());
    }
    test::TempFolder folder;
    IniFile none(folder / "velmora.ini");
    EXPECT_FALSE(ReadMathSettings(none).problem);
    EXPECT_TRUE(ReadMathSettings(none).functions.empty());
}

} // namespace
} // namespace velmora
