// Alarms in the settings file: written and read back, hand-edited sections that do not read.
#include "alarms/alarm_settings.h"

#include "settings/ini_file.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

TEST(AlarmSettings, WrittenAlarmsReadBackAndLeaveComInfoAsItWas) {
    TempFolder folder;
    const std::string path = folder / "velmora.ini";
    const std::string comInfo = "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n";
    WriteBytes(path, comInfo);
    IniFile ini(path);
    AlarmDefinition volts;
    volts.name = "supply high";
    volts.function = "VOLT";
    volts.condition = AlarmCondition::Above;
    volts.high = 5.25;
    volts.hysteresis = 0.05;
    volts.delaySeconds = 2.5;
    volts.sound = true;
    volts.program = "/usr/local/bin/page-me";
    AlarmDefinition quiet;
    quiet.name = "meter quiet";
    quiet.condition = AlarmCondition::Silence;
    quiet.silenceSeconds = 30;
    quiet.notify = true;
    quiet.enabled = false;
    volts.onMath = true;
    WriteAlarmSettings(ini, {volts, quiet});
    const std::string bytes = ReadBytes(path).value_or("");
    EXPECT_EQ(bytes.rfind(comInfo + "[Alarms]\r\n", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("1.High=5.25\r\n"), std::string::npos) << "numbers with '.'";
    EXPECT_NE(bytes.find("1.Source=math\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("2.Source=reading\r\n"), std::string::npos);

    const AlarmSettings read = ReadAlarmSettings(ini);
    EXPECT_FALSE(read.problem);
    ASSERT_EQ(read.alarms.size(), 2u);
    EXPECT_EQ(read.alarms[0], volts);
    EXPECT_EQ(read.alarms[1], quiet);
}

TEST(AlarmSettings, KeysLeftOutTakeTheDefaults) {
    TempFolder folder;
    WriteBytes(folder / "v.ini", "[Alarms]\r\nCount=1\r\n1.Condition=below\r\n");
    const AlarmSettings read = ReadAlarmSettings(IniFile(folder / "v.ini"));
    ASSERT_EQ(read.alarms.size(), 1u);
    AlarmDefinition expected;
    expected.name = "Alarm 1";
    expected.condition = AlarmCondition::Below;
    expected.silenceSeconds = 10;
    expected.enabled = true;
    expected.sound = false;
    expected.notify = false;
    EXPECT_EQ(read.alarms[0], expected);
}

TEST(AlarmSettings, NoSectionIsNoAlarms) {
    TempFolder folder;
    WriteBytes(folder / "v.ini", "[COM Info]\r\nPort=com1\r\n");
    const AlarmSettings read = ReadAlarmSettings(IniFile(folder / "v.ini"));
    EXPECT_TRUE(read.alarms.empty());
    EXPECT_FALSE(read.problem);
}

TEST(AlarmSettings, HandEditedSectionsThatDoNotReadAreRefusedWithTheReason) {
    const struct {
        const char* name;
        const char* section;
        const char* problem;
    } rows[] = {
        {"count_not_a_number", "Count=two\r\n", "Count \"two\" is not a number"},
        {"count_too_large", "Count=51\r\n", "Count 51 is not between 0 and 50"},
        {"negative_count", "Count=-1\r\n", "Count -1 is not between 0 and 50"},
        {"count_at_the_limit_is_read", "Count=50\r\n", "alarm 1: unknown condition \"\""},
        {"unknown_condition", "Count=1\r\n1.Condition=over\r\n",
         "alarm 1: unknown condition \"over\""},
        {"missing_condition", "Count=1\r\n", "alarm 1: unknown condition \"\""},
        {"bad_number", "Count=2\r\n1.Condition=above\r\n2.Condition=below\r\n2.Low=1,5\r\n",
         "alarm 2: Low \"1,5\" is not a number"},
        {"low_above_high", "Count=1\r\n1.Condition=outside\r\n1.Low=3\r\n1.High=2\r\n",
         "alarm 1: the low limit is above the high one"},
        {"negative_delay", "Count=1\r\n1.Condition=above\r\n1.Delay=-1\r\n",
         "alarm 1: a hysteresis or delay below zero"},
        {"zero_silence", "Count=1\r\n1.Condition=silence\r\n1.Silence=0\r\n",
         "alarm 1: a silence of no length"},
        {"flag_not_0_or_1", "Count=1\r\n1.Condition=above\r\n1.Sound=yes\r\n",
         "alarm 1: Sound \"yes\" is neither 0 nor 1"},
        {"unknown_source", "Count=1\r\n1.Condition=above\r\n1.Source=derived\r\n",
         "alarm 1: Source \"derived\" is neither reading nor math"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        WriteBytes(folder / "v.ini", std::string("[Alarms]\r\n") + row.section);
        const AlarmSettings read = ReadAlarmSettings(IniFile(folder / "v.ini"));
        EXPECT_TRUE(read.alarms.empty());
        EXPECT_EQ(read.problem, std::optional<std::string>(row.problem));
    }
}

} // namespace
} // namespace velmora
