// The simulated meter's command interpretation and reading format, without a pseudo-terminal.
#include "tools/meter/meter_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>

namespace velmora {
namespace {

TEST(FormatReading, MeterNumberFormat) {
    struct Row {
        const char* name;
        double value;
        const char* text;
    };
    const Row rows[] = {
        {"kilo_ohms", 1160.4076, "+1.16040760E+03"},
        {"negative_milli", -0.0012, "-1.20000000E-03"},
        {"zero", 0.0, "+0.00000000E+00"},
        {"overload", kOverload, "+9.90000000E+37"},
        {"negative_overload", -kOverload, "-9.90000000E+37"},
        {"rounds_ninth_digit", 1.234567895, "+1.23456790E+00"},
        {"rounds_into_next_decade", 9.999999999, "+1.00000000E+01"},
        {"micro", 2.3456e-6, "+2.34560000E-06"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FormatReading(row.value), row.text);
    }
}

TEST(MeterModel, AnswersCommandsLikeTheMeter) {
    struct Row {
        const char* command;
        std::optional<std::string> reply; // "#" stands for any reading
        MeterFunction functionAfter;
    };
    const std::string reading = "#";
    const Row rows[] = {
        {"syst:rem", std::nullopt, MeterFunction::DcVolts},
        {"Func?", "\"VOLT\"", MeterFunction::DcVolts},
        {"Read?", reading, MeterFunction::DcVolts},
        {"Meas:RES?", reading, MeterFunction::Resistance},
        {"Func?", "\"RES\"", MeterFunction::Resistance},
        {"Meas:Volt:AC?", reading, MeterFunction::AcVolts},
        {"func?", "\"VOLT:AC\"", MeterFunction::AcVolts},
        {"Meas:FRES?", reading, MeterFunction::FourWireResistance},
        {"FUNC?", "\"FRES\"", MeterFunction::FourWireResistance},
        {"Meas:Curr:DC?", reading, MeterFunction::DcCurrent},
        {"Func?", "\"CURR\"", MeterFunction::DcCurrent},
        {"Meas:Curr:AC?", reading, MeterFunction::AcCurrent},
        {"Func?", "\"CURR:AC\"", MeterFunction::AcCurrent},
        {"Meas:FREQ?", reading, MeterFunction::Frequency},
        {"Func?", "\"FREQ\"", MeterFunction::Frequency},
        {"Meas:PER?", reading, MeterFunction::Period},
        {"Func?", "\"PER\"", MeterFunction::Period},
        {"Meas:Diod?", reading, MeterFunction::Diode},
        {"Func?", "\"DIOD\"", MeterFunction::Diode},
        {"Meas:Cont?", reading, MeterFunction::Continuity},
        {"Func?", "\"CONT\"", MeterFunction::Continuity},
        {"Meas:Volt:Dc?", reading, MeterFunction::DcVolts},
        {"MEASure:VOLTage:DC? 10,0.001", reading, MeterFunction::DcVolts},
        {"  FUNCtion?", "\"VOLT\"", MeterFunction::DcVolts},
        {"Volt:DC:RES Max", std::nullopt, MeterFunction::DcVolts},
        {"RES:RES MAX", std::nullopt, MeterFunction::DcVolts},
        {"INP:IMP:AUTO ON", std::nullopt, MeterFunction::DcVolts},
        {"Meas:Nonsense?", std::nullopt, MeterFunction::DcVolts},
        {"Bogus?", std::nullopt, MeterFunction::DcVolts},
        {"", std::nullopt, MeterFunction::DcVolts},
        {"syst:loc", std::nullopt, MeterFunction::DcVolts},
    };
    const std::regex format(R"([+-][0-9]\.[0-9]{8}E[+-][0-9]{2})");
    MeterModel model;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        const std::optional<std::string> reply = model.Handle(row.command);
        if (row.reply == reading) {
            ASSERT_TRUE(reply.has_value());
            EXPECT_TRUE(std::regex_match(*reply, format)) << *reply;
        } else {
            EXPECT_EQ(reply, row.reply);
        }
        EXPECT_EQ(model.Function(), row.functionAfter);
    }
}

TEST(MeterModel, SettingsAndTheErrorQueueAsTheMeterKeepsThem) {
    // The meter's own command set; resolutions are the fraction of the range
    // each integration time gives (1 PLC: 3 ppm, 100 PLC: 0.3 ppm).
    const struct {
        const char* command;
        std::optional<std::string> reply;
    } rows[] = {
        {"CONF:RES", std::nullopt},
        {"Func?", "\"RES\""},
        {"RES:NPLC?", "+1.00000000E+01"}, // configure presets 10 PLC
        {"RES:RANG:AUTO?", "1"},
        {"RES:NPLC 1", std::nullopt},
        {"RES:NPLC?", "+1.00000000E+00"},
        {"RESistance:RANGe 10000", std::nullopt},
        {"RES:RANG?", "+1.00000000E+04"},
        {"RES:RANG:AUTO?", "0"},
        {"RES:RES?", "+3.00000000E-02"},
        {"RES:RES MIN", std::nullopt}, // the finest: 100 PLC
        {"RES:NPLC?", "+1.00000000E+02"},
        {"RES:RANG 5000", std::nullopt}, // the next range up
        {"RES:RANG?", "+1.00000000E+04"},
        {"RES:NPLC 0.5", std::nullopt}, // the next integration time up
        {"RES:NPLC?", "+1.00000000E+00"},
        {"ZERO:AUTO OFF", std::nullopt},
        {"ZERO:AUTO?", "0"},
        {"SYST:ERR?", "+0,\"No error\""},
        {"RES:NPLC 500", std::nullopt},
        {"VOLT:AC:NPLC 1", std::nullopt}, // AC volts integrate otherwise
        {"Bogus?", std::nullopt},
        {"SYST:ERR?", "-222,\"Data out of range\""},
        {"SYSTem:ERRor?", "-113,\"Undefined header\""},
        {"SYST:ERR?", "-113,\"Undefined header\""},
        {"SYST:ERR?", "+0,\"No error\""},
        {"Meas:RES?", "#"}, // presets again
        {"RES:NPLC?", "+1.00000000E+01"},
        {"RES:RANG:AUTO?", "1"},
        {"ZERO:AUTO?", "1"},
        {"INP:IMP:AUTO?", "0"},
        {"INP:IMP:AUTO ON", std::nullopt},
        {"INP:IMP:AUTO?", "1"},
        {"DISP?", "1"},
        {"DISP OFF", std::nullopt},
        {"DISP?", "0"},
        {"CONF:VOLT:DC", std::nullopt},
        {"Func?", "\"VOLT\""},
        {"VOLT:DC:RANG 0.1", std::nullopt},
        {"Read?", "+9.90000000E+37"}, // about 1.23 V on the 100 mV range
        {"VOLT:RANG:AUTO ON", std::nullopt},
        {"Read?", "#"},
        {"SAMPle:COUNt 3", std::nullopt},
        {"SAMP:COUN?", "+3.00000000E+00"},
        {"SAMP:COUN 0", std::nullopt},
        {"SYST:ERR?", "-222,\"Data out of range\""},
        {"SYST:ERR?", "+0,\"No error\""},
    };
    MeterModelOptions options;
    options.rangeChangeChance = 0;
    MeterModel model(options);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.command);
        const std::optional<std::string> reply = model.Handle(row.command);
        if (row.reply == std::optional<std::string>("#")) {
            EXPECT_TRUE(reply.has_value());
        } else {
            EXPECT_EQ(reply, row.reply);
        }
    }
    EXPECT_EQ(model.Handle("VOLT:DC:RANG?"), "+1.00000000E+01")
        << "autoranged to hold 1.23 V at the reading";
    // Three readings a query, comma-separated; measuring again presets one.
    const std::optional<std::string> burst = model.Handle("Read?");
    ASSERT_TRUE(burst);
    const std::string one = R"([+-][0-9]\.[0-9]{8}E[+-][0-9]{2})";
    EXPECT_TRUE(std::regex_match(*burst, std::regex(one + "," + one + "," + one))) << *burst;
    model.Handle("Meas:Volt:DC?");
    EXPECT_EQ(model.Handle("SAMP:COUN?"), "+1.00000000E+00");
}

TEST(MeterModel, RemoteAndLocal) {
    MeterModel model;
    EXPECT_FALSE(model.Remote());
    model.Handle("SYSTem:REMote");
    EXPECT_TRUE(model.Remote());
    model.Handle("syst:loc");
    EXPECT_FALSE(model.Remote());
}

TEST(MeterModel, ReadingsArePlausibleForEachFunction) {
    struct Row {
        MeterFunction function;
        double typical;
    };
    const Row rows[] = {
        {MeterFunction::DcVolts, 1.2345678},  {MeterFunction::Resistance, 1160.4076},
        {MeterFunction::DcCurrent, 1.234e-3}, {MeterFunction::Frequency, 1000.0345},
        {MeterFunction::Period, 9.999655e-4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(FunctionName(row.function)));
        MeterModelOptions options;
        options.startFunction = row.function;
        options.overloadChance = 0;
        MeterModel model(options);
        bool varies = false;
        double previous = 0;
        for (int i = 0; i < 500; ++i) {
            const double value = model.NextReading();
            // Within two decades of the typical value (range changes), never overload.
            EXPECT_GT(value, row.typical / 101);
            EXPECT_LT(value, row.typical * 101);
            varies = varies || (i > 0 && value != previous);
            previous = value;
        }
        EXPECT_TRUE(varies) << "readings carry noise";
    }
}

TEST(MeterModel, OverloadOnlyWhereAnOpenInputIsPossible) {
    for (const MeterFunction function :
         {MeterFunction::Resistance, MeterFunction::FourWireResistance,
          MeterFunction::Continuity}) {
        MeterModel model({.startFunction = function, .overloadChance = 1.0});
        EXPECT_EQ(model.Handle("Read?"), "+9.90000000E+37");
    }
    MeterModel volts({.startFunction = MeterFunction::DcVolts, .overloadChance = 1.0});
    EXPECT_NE(volts.Handle("Read?"), "+9.90000000E+37");
}

TEST(MeterModel, SameSeedSameReadings) {
    MeterModel a({.seed = 42});
    MeterModel b({.seed = 42});
    MeterModel c({.seed = 43});
    std::string readingsA, readingsB, readingsC;
    for (int i = 0; i < 20; ++i) {
        readingsA += *a.Handle("Read?");
        readingsB += *b.Handle("Read?");
        readingsC += *c.Handle("Read?");
    }
    EXPECT_EQ(readingsA, readingsB);
    EXPECT_NE(readingsA, readingsC);
}

TEST(FunctionFromName, RoundTripsAndIgnoresCase) {
    for (const char* name :
         {"VOLT", "VOLT:AC", "CURR", "CURR:AC", "RES", "FRES", "DIOD", "CONT", "FREQ", "PER"}) {
        SCOPED_TRACE(name);
        const auto function = FunctionFromName(name);
        ASSERT_TRUE(function.has_value());
        EXPECT_EQ(FunctionName(*function), name);
    }
    EXPECT_EQ(FunctionFromName("volt:ac"), MeterFunction::AcVolts);
    EXPECT_EQ(FunctionFromName("OHM"), std::nullopt);
}

} // namespace
} // namespace velmora
