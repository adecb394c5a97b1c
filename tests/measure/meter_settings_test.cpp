// The meter's settings: the command texts against the meter's command set, the queries of what
// is in force and their replies, the error queue's entries, and the settings file section.
#include "measure/meter_settings.h"
#include "measure/meter_settings_store.h"
#include "settings/ini_file.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

FunctionSettings With(std::optional<double> nplc, std::optional<double> range,
                      std::string resolution = "", std::string autozero = "",
                      bool impedance = false) {
    FunctionSettings s;
    s.nplc = nplc;
    s.range = range;
    s.resolution = std::move(resolution);
    s.autozero = std::move(autozero);
    s.inputImpedanceAuto = impedance;
    return s;
}

TEST(SettingCommands, SpellTheMeterCommandsInTheOrderTheyMustGo) {
    const struct {
        const char* name;
        const char* function;
        FunctionSettings settings;
        std::vector<std::string> commands;
    } rows[] = {
        {"defaults_send_nothing", "VOLT", {}, {}},
        {"dc_volts_all",
         "VOLT",
         With(1, 10, "MIN", "OFF", true),
         {"VOLT:DC:NPLC 1", "VOLT:DC:RES MIN", "VOLT:DC:RANG 10", "ZERO:AUTO OFF",
          "INP:IMP:AUTO ON"}},
        {"fast_integration", "RES", With(0.02, std::nullopt), {"RES:NPLC 0.02"}},
        {"four_wire_range", "FRES", With(std::nullopt, 1e6), {"FRES:RANG 1000000"}},
        {"dc_current",
         "CURR",
         With(100, 0.01, "", "ONCE"),
         {"CURR:DC:NPLC 100", "CURR:DC:RANG 0.01", "ZERO:AUTO ONCE"}},
        // AC functions have no integration time nor autozero; only DC volts
        // has the input impedance.
        {"ac_volts_skip_what_it_lacks",
         "VOLT:AC",
         With(1, 750, "MAX", "OFF", true),
         {"VOLT:AC:RES MAX", "VOLT:AC:RANG 750"}},
        {"ac_current", "CURR:AC", With(std::nullopt, 3), {"CURR:AC:RANG 3"}},
        {"diode_has_none", "DIOD", With(1, 10, "MIN", "OFF"), {}},
        {"frequency_has_none", "FREQ", With(1, 10), {}},
        {"unknown_function", "TEMP", With(1, 10), {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SettingCommands(row.function, row.settings), row.commands);
    }
}

TEST(InForceQueries, AskWhatTheFunctionHasAndReadTheReplies) {
    std::vector<std::string> commands;
    for (const InForceQuery& q : InForceQueries("VOLT")) {
        commands.push_back(q.command);
    }
    EXPECT_EQ(commands,
              (std::vector<std::string>{"VOLT:DC:NPLC?", "VOLT:DC:RES?", "VOLT:DC:RANG?",
                                        "VOLT:DC:RANG:AUTO?", "ZERO:AUTO?", "INP:IMP:AUTO?"}));
    EXPECT_EQ(InForceQueries("VOLT:AC").size(), 3u) << "resolution, range, autorange";
    EXPECT_TRUE(InForceQueries("CONT").empty());

    InForce in;
    const auto queries = InForceQueries("VOLT");
    EXPECT_TRUE(TakeInForceReply(queries[0], "+1.00000000E+00\r\n", in));
    EXPECT_TRUE(TakeInForceReply(queries[1], "+3.00000000E-05", in));
    EXPECT_TRUE(TakeInForceReply(queries[2], "+1.00000000E+01", in));
    EXPECT_TRUE(TakeInForceReply(queries[3], "0", in));
    EXPECT_TRUE(TakeInForceReply(queries[4], "1", in));
    EXPECT_FALSE(TakeInForceReply(queries[5], "\"VOLT\"", in));
    EXPECT_EQ(in.nplc, 1.0);
    EXPECT_EQ(in.resolution, 3e-5);
    EXPECT_EQ(in.range, 10.0);
    EXPECT_EQ(in.autoRange, false);
    EXPECT_EQ(in.autozero, true);
    EXPECT_FALSE(in.inputImpedanceAuto) << "a reply that is no number leaves it unknown";
}

TEST(ParseErrorReply, ReadsTheMeterErrorQueueEntries) {
    const struct {
        const char* reply;
        std::optional<int> code;
        const char* text;
    } rows[] = {
        {"+0,\"No error\"", 0, "No error"},
        {"-113,\"Undefined header\"\r\n", -113, "Undefined header"},
        {"-222,\"Data out of range\"", -222, "Data out of range"},
        {"-410,\"Query INTERRUPTED\"", -410, "Query INTERRUPTED"},
        {"-109,\"Missing parameter\"", -109, "Missing parameter"},
        {"+0", std::nullopt, ""},
        {"+1.16040760E+03", std::nullopt, ""},
        {"\"VOLT\"", std::nullopt, ""},
        {",\"x\"", std::nullopt, ""},
        {"-,\"x\"", std::nullopt, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.reply);
        const std::optional<MeterError> error = ParseErrorReply(row.reply);
        ASSERT_EQ(error.has_value(), row.code.has_value());
        if (error) {
            EXPECT_EQ(error->code, *row.code);
            EXPECT_EQ(error->text, row.text);
        }
    }
}

TEST(RangeText, NamesRangesInTheirUnits) {
    EXPECT_EQ(RangeText("VOLT", 0.1), "100 mV");
    EXPECT_EQ(RangeText("VOLT:AC", 750), "750 V");
    EXPECT_EQ(RangeText("CURR", 0.01), "10 mA");
    EXPECT_EQ(RangeText("RES", 1e5), "100 kohm");
    EXPECT_EQ(RangeText("FRES", 1e8), "100 Mohm");
}

TEST(MeterSettingsFile, KeptPerFunctionAndReadBack) {
    test::TempFolder folder;
    const std::string path = folder / "v.ini";
    test::WriteBytes(path, "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n");
    MeterSettings settings;
    settings.functions["VOLT"] = With(1, 10, "", "OFF", true);
    settings.functions["RES"] = With(std::nullopt, 1e4, "MIN");
    settings.displayOn = false;
    {
        IniFile file(path);
        WriteMeterSettings(file, "VOLT", settings);
        WriteMeterSettings(file, "RES", settings);
    }
    IniFile file(path);
    EXPECT_EQ(file.readValue("Meter Settings", "VOLT.NPLC", ""), "1");
    EXPECT_EQ(file.readValue("Meter Settings", "VOLT.InputImpedance", ""), "AUTO");
    EXPECT_EQ(file.readValue("Meter Settings", "RES.Range", ""), "10000");
    EXPECT_EQ(file.readValue("Meter Settings", "Display", ""), "OFF");
    EXPECT_EQ(file.readValue("COM Info", "baudrate", ""), "9600");
    const ReadMeterSettingsResult read = ReadMeterSettings(file);
    EXPECT_FALSE(read.problem);
    EXPECT_EQ(read.settings, settings);
}

TEST(MeterSettingsFile, ValuesTheMeterDoesNotTakeKeepTheDefaultAndAreNamed) {
    test::TempFolder folder;
    const std::string path = folder / "v.ini";
    test::WriteBytes(path, "[Meter Settings]\r\nVOLT.NPLC=7\r\nVOLT.Range=1E1\r\n"
                           "VOLT:AC.Autozero=OFF\r\nRES.InputImpedance=AUTO\r\nDisplay=dim\r\n"
                           "FRES.Range=99999.9999999\r\n");
    const ReadMeterSettingsResult read = ReadMeterSettings(IniFile(path));
    EXPECT_EQ(read.problem,
              std::optional<std::string>("VOLT.NPLC \"7\", VOLT:AC.Autozero \"OFF\", "
                                         "RES.InputImpedance \"AUTO\", Display \"dim\""));
    EXPECT_EQ(read.settings.of("VOLT"), With(std::nullopt, 10)) << "1E1 is the 10 V range";
    EXPECT_TRUE(read.settings.of("RES").isDefault());
    EXPECT_TRUE(read.settings.displayOn);
    EXPECT_EQ(read.settings.of("FRES").range, 1e5) << "a range written by another tool, a hair off";
}

} // namespace
} // namespace velmora
