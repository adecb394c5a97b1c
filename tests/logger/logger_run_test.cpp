// velmora-log run against the emulated meter: what reaches the meter, the file and the exit
// status, for a count, a signal, a port that is not there and a meter that never answers.
#include "record/run_reader.h"
#include "tests/acquisition/recorded_run.h"
#include "tests/logger/logger_process.h"
#include "tests/settings/temp_folder.h"
#include "tools/meter/meter_emulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace velmora {
namespace {

using namespace std::chrono_literals;

MeterOptions Steady() {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    options.interruptQueries = true;
    return options;
}

size_t Readings(const std::string& text) {
    const std::optional<SavedRun> run = ReadRun(text);
    return run ? run->readings : 0;
}

TEST(LoggerRun, CountedReadingsOfTheFunctionAskedForThenLocalMode) {
    MeterEmulator meter(Steady());
    meter.Start();
    test::TempFolder folder;
    const std::string file = folder / "run.csv";
    const LoggerResult run = RunLogger({"--port", meter.SlavePath(), "--function", "ohm2", "--nplc",
                                        "1", "--count", "5", "--output", file},
                                       folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::optional<SavedRun> saved = ReadRun(test::ReadBytes(file).value_or(""));
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->readings, 5u);
    EXPECT_FALSE(saved->stoppedAt);
    EXPECT_EQ(saved->rows.back().event, "recording stopped");
    for (const RunRow& row : saved->rows) {
        if (row.value) {
            EXPECT_EQ(row.unit, "OHM");
        }
    }
    std::vector<std::string> commands = meter.Commands();
    // A function chosen: configured, given its settings, the error queue
    // read, what is in force asked, then named and read.
    ASSERT_GE(commands.size(), 11u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 11),
              (std::vector<std::string>{"syst:rem", "CONF:RES", "RES:NPLC 1", "SYST:ERR?",
                                        "RES:NPLC?", "RES:RES?", "RES:RANG?", "RES:RANG:AUTO?",
                                        "ZERO:AUTO?", "Func?", "Read?"}));
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "Read?"), 5);
    ASSERT_TRUE(meter.WaitForReceived("syst:loc\r\n", 10s)) << "back to local mode";
    EXPECT_EQ(meter.Commands().back(), "syst:loc");
    EXPECT_EQ(meter.Function(), MeterFunction::Resistance);
}

TEST(LoggerRun, ASignalStopsItCleanlyWithEveryReadingKept) {
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        MeterEmulator meter(Steady());
        meter.Start();
        test::TempFolder folder;
        const LoggerResult run =
            RunLogger({"--port", meter.SlavePath(), "--fast"}, folder, [&](pid_t pid) {
                const auto deadline = std::chrono::steady_clock::now() + 20s;
                const auto reads = [&] {
                    const std::vector<std::string> commands = meter.Commands();
                    return std::count(commands.begin(), commands.end(), "Read?");
                };
                while (reads() < 5 && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(10ms);
                }
                kill(pid, signal);
            });
        EXPECT_EQ(run.status, 0) << run.errors;
        const std::string text = test::ReadBytes(folder / "stdout.txt").value_or("");
        EXPECT_GE(Readings(text), 4u) << text;
        EXPECT_NE(text.find(",,,,recording stopped\n"), std::string::npos);
        ASSERT_TRUE(meter.WaitForReceived("syst:loc\r\n", 10s));
    }
}

TEST(LoggerRun, FailuresSayWhatAndEndWithTheirOwnStatus) {
    test::TempFolder folder;
    const LoggerResult missing = RunLogger({"--port", folder / "no-such-port"}, folder);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.errors.find("cannot open"), std::string::npos) << missing.errors;

    MeterOptions silent = Steady();
    // "Func?" is never answered, nor the marker that would get the meter in step again.
    silent.script = ParseScript("silence\nsilence\n");
    MeterEmulator meter(silent);
    meter.Start();
    // Given a time-out of its own, the run need not wait out the default 10 s.
    const LoggerResult quiet =
        RunLogger({"--port", meter.SlavePath(), "--reply-timeout", "0.5"}, folder);
    EXPECT_EQ(quiet.status, 3);
    EXPECT_NE(quiet.errors.find("the meter does not answer on " + meter.SlavePath() +
                                " (no reply to Func?)"),
              std::string::npos)
        << quiet.errors;

    const LoggerResult unwritable =
        RunLogger({"--port", meter.SlavePath(), "--output", folder / "no-folder/x.csv"}, folder);
    EXPECT_EQ(unwritable.status, 4);
    EXPECT_NE(unwritable.errors.find("cannot write"), std::string::npos) << unwritable.errors;

    const LoggerResult bad = RunLogger({"--count", "many"}, folder);
    EXPECT_EQ(bad.status, 1);

    const LoggerResult noSettings = RunLogger({"--settings", folder / "none.ini"}, folder);
    EXPECT_EQ(noSettings.status, 1);
    EXPECT_NE(noSettings.errors.find("none.ini"), std::string::npos) << noSettings.errors;
}

std::vector<std::string> Events(const std::string& text) {
    std::vector<std::string> events;
    if (const std::optional<SavedRun> run = ReadRun(text)) {
        for (const RunRow& row : run->rows) {
            if (!row.event.empty()) {
                events.push_back(row.event);
            }
        }
    }
    return events;
}

size_t Occurrences(const std::string& text, const std::string& needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++n;
    }
    return n;
}

TEST(LoggerRun, OutputsThatAreNoRegularFileAreWritten) {
    MeterEmulator meter(Steady());
    meter.Start();
    test::TempFolder folder;
    const std::string fifo = folder / "rows.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    for (const std::string& target : {fifo, std::string("/dev/null")}) {
        SCOPED_TRACE(target);
        const LoggerResult run =
            RunLogger({"--port", meter.SlavePath(), "--count", "3", "--output", target}, folder);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors.find("cannot write"), std::string::npos) << run.errors;
    }
    std::string rows(65536, '\0');
    const ssize_t n = ::read(reader, rows.data(), rows.size());
    ::close(reader);
    ASSERT_GT(n, 0);
    rows.resize(static_cast<size_t>(n));
    EXPECT_EQ(Readings(rows), 3u) << rows;
    // What cannot be written is still refused, with the system's reason.
    const std::string unread = folder / "unread.fifo";
    ASSERT_EQ(::mkfifo(unread.c_str(), 0600), 0);
    const LoggerResult refused =
        RunLogger({"--port", meter.SlavePath(), "--output", unread}, folder);
    EXPECT_EQ(refused.status, 4);
    EXPECT_NE(refused.errors.find("No such device or address"), std::string::npos)
        << refused.errors;
}

TEST(LoggerRun, ControlBytesFromTheMeterAreShownEscaped) {
    MeterOptions options = Steady();
    // A reply that would retitle and ring the terminal, with a raw C1 byte
    // and a UTF-8 letter that is text.
    options.script = ParseScript("answer\nreply x\\x1b]0;owned\\x07\\x9b\xc4\x85\n");
    MeterEmulator meter(options);
    meter.Start();
    test::TempFolder folder;
    const LoggerResult run =
        RunLogger({"--port", meter.SlavePath(), "--count", "2", "--output", "-"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("not a reading: \"x\\x1b]0;owned\\x07\\x9b\xc4\x85\""),
              std::string::npos)
        << run.errors;
    for (const char c : run.errors) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_FALSE((byte < 0x20 && byte != '\n') || byte == 0x7F) << "byte " << int(byte);
    }
    EXPECT_EQ(run.errors.find('\x9b'), std::string::npos) << "a raw C1 byte reached the terminal";
}

TEST(LoggerRun, ATimedRunEndsByItselfAfterItsDuration) {
    MeterEmulator meter(Steady());
    meter.Start();
    test::TempFolder folder;
    const auto began = std::chrono::steady_clock::now();
    const LoggerResult run = RunLogger({"--port", meter.SlavePath(), "--duration", "1.5"}, folder);
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::optional<SavedRun> saved =
        ReadRun(test::ReadBytes(folder / "stdout.txt").value_or(""));
    ASSERT_TRUE(saved);
    EXPECT_GE(saved->readings, 2u);
    // The duration counts from the first "Read?", after the meter's second in remote mode.
    EXPECT_GE(took, 1.0 + 1.5);
    double first = -1, last = 0;
    for (const RunRow& row : saved->rows) {
        if (row.value) {
            first = first < 0 ? row.seconds : first;
            last = row.seconds;
        }
    }
    EXPECT_GE(last - first, 1.0) << "readings until about the end";
    EXPECT_LE(last - first, 1.5 + 1.0) << "and none long after";
    EXPECT_EQ(saved->rows.back().event, "recording stopped");
}

TEST(LoggerRun, TwoLoggersSideBySideEachWithItsOwnMeterAndFile) {
    MeterOptions dc = Steady();
    MeterOptions ohms = Steady();
    ohms.model.startFunction = MeterFunction::Resistance;
    MeterEmulator first(dc), second(ohms);
    first.Start();
    second.Start();
    test::TempFolder folder;
    const pid_t a = StartLogger(
        {"--port", first.SlavePath(), "--count", "6", "--output", folder / "a.csv"}, folder, "a.");
    const pid_t b = StartLogger(
        {"--port", second.SlavePath(), "--count", "4", "--output", folder / "b.csv"}, folder, "b.");
    EXPECT_EQ(WaitForLogger(a, folder, "a.").status, 0);
    EXPECT_EQ(WaitForLogger(b, folder, "b.").status, 0);
    const std::optional<SavedRun> runA = ReadRun(test::ReadBytes(folder / "a.csv").value_or(""));
    const std::optional<SavedRun> runB = ReadRun(test::ReadBytes(folder / "b.csv").value_or(""));
    ASSERT_TRUE(runA && runB);
    EXPECT_EQ(runA->readings, 6u);
    EXPECT_EQ(runB->readings, 4u);
    for (const auto& [run, unit] : {std::pair{&*runA, "V DC"}, std::pair{&*runB, "OHM"}}) {
        for (const RunRow& row : run->rows) {
            if (row.value) {
                EXPECT_EQ(row.unit, unit);
            }
        }
    }
    for (MeterEmulator* meter : {&first, &second}) {
        ASSERT_TRUE(meter->WaitForReceived("syst:loc\r\n", 10s));
        EXPECT_EQ(meter->Commands().back(), "syst:loc");
    }
}

// A meter on the network or behind a GPIB adapter, by each way of writing its name, against
// each persona in counter mode: every reading once and in order, its unit, the profile its
// identity picks, and no command the persona does not know.
struct NetworkRun {
    const char* name;
    MeterPersona persona;
    // The resource name: PORT stands for the emulator's TCP port, PATH for its pty's link.
    const char* form;
    const char* profile; // as the "identified" event names it
    int gpibAddress = -1;
};

const NetworkRun kNetworkRuns[] = {
    {"visa_3446x", MeterPersona::Lan3446x, "TCPIP::127.0.0.1::PORT::SOCKET", "3446x/3447x class"},
    {"short_3446x_as_34401a", MeterPersona::Lan34401A, "127.0.0.1:PORT", "3446x/3447x class"},
    {"visa_board_lower_case", MeterPersona::Lan3446x, "tcpip0::127.0.0.1::PORT::socket",
     "3446x/3447x class"},
    {"adapter_on_serial_34401a", MeterPersona::Gpib34401A, "GPIB::9@PATH", "34401A class (GPIB)",
     9},
    {"adapter_on_tcp_34401a", MeterPersona::Gpib34401A, "gpib0::30::INSTR@127.0.0.1:PORT",
     "34401A class (GPIB)", 30},
    {"adapter_on_tcp_3446x", MeterPersona::Lan3446x, "GPIB::5@TCPIP::127.0.0.1::PORT::SOCKET",
     "3446x/3447x class", 5},
};

class LoggerOnTheNetwork : public ::testing::TestWithParam<NetworkRun> {};

TEST_P(LoggerOnTheNetwork, LogsEveryReadingOnceInOrder) {
    const NetworkRun& form = GetParam();
    test::TempFolder folder;
    MeterOptions options;
    options.model.counter = true;
    options.model.persona = form.persona;
    std::string port = form.form;
    const bool onPty = port.find("PATH") != std::string::npos;
    if (onPty) {
        options.linkPath = folder / "adapter";
        options.baud = 0;
    } else {
        options.tcpPort = 0;
    }
    options.gpibAdapterAddress = form.gpibAddress;
    options.strayNuls = form.gpibAddress >= 0;
    MeterEmulator meter(options);
    meter.Start();
    if (onPty) {
        port.replace(port.find("PATH"), 4, folder / "adapter");
    } else {
        port.replace(port.find("PORT"), 4, std::to_string(meter.TcpPort()));
    }
    const LoggerResult run = RunLogger({"--port", port, "--count", "100", "--fast"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::optional<SavedRun> saved =
        ReadRun(test::ReadBytes(folder / "stdout.txt").value_or(""));
    ASSERT_TRUE(saved);
    std::vector<long double> values;
    for (const RunRow& row : saved->rows) {
        if (row.value) {
            values.push_back(*row.value);
            EXPECT_EQ(row.unit, "V DC");
        }
    }
    ASSERT_EQ(values.size(), 100u);
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(values[i], static_cast<long double>(i + 1)) << "row " << i;
    }
    const std::vector<std::string> events =
        Events(test::ReadBytes(folder / "stdout.txt").value_or(""));
    ASSERT_GE(events.size(), 3u);
    EXPECT_TRUE(events[2].starts_with("identified VELMORA-EMU ")) << events[2];
    EXPECT_TRUE(events[2].ends_with(std::string("(") + form.profile + ")")) << events[2];
    EXPECT_EQ(meter.UndefinedHeaders(), 0) << testing::PrintToString(meter.Commands());
    if (!onPty) {
        EXPECT_EQ(meter.AcceptedConnections(), 1);
    }
    if (form.gpibAddress >= 0) {
        EXPECT_EQ(meter.AdapterVersionQueries(), 1);
        EXPECT_NE(run.errors.find("GPIB adapter: VELMORA-EMU GPIB adapter"), std::string::npos)
            << run.errors;
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, LoggerOnTheNetwork, ::testing::ValuesIn(kNetworkRuns),
                         [](const ::testing::TestParamInfo<NetworkRun>& row) {
                             return std::string(row.param.name);
                         });

// The user's own profile files: one chosen by --profile speaks its words to the meter; a
// broken one is said once and left out; a name no file gives is refused.
TEST(LoggerRun, TheUsersProfileFilesAreOfferedAndABrokenOneIsSaid) {
    test::TempFolder folder;
    std::filesystem::create_directories(folder / "config/velmora/profiles");
    test::WriteBytes(folder / "config/velmora/profiles/loud.profile",
                     "model = Loud 34401A\nfunction query = FUNC?\nread query = READ?\n");
    test::WriteBytes(folder / "config/velmora/profiles/broken.profile", "model = X\nspeed = 3\n");
    ASSERT_EQ(setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1), 0);
    MeterEmulator meter(Steady());
    meter.Start();
    const LoggerResult run = RunLogger(
        {"--port", meter.SlavePath(), "--profile", "loud 34401a", "--count", "3"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(Readings(test::ReadBytes(folder / "stdout.txt").value_or("")), 3u);
    const std::vector<std::string> commands = meter.Commands();
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 3),
              (std::vector<std::string>{"syst:rem", "FUNC?", "READ?"}));
    const std::string said =
        "profile skipped: " + folder / "config/velmora/profiles/broken.profile" +
        ":2: unknown key \"speed\"";
    EXPECT_NE(run.errors.find(said), std::string::npos) << run.errors;
    EXPECT_EQ(run.errors.find(said), run.errors.rfind(said)) << "said once";

    const LoggerResult unknown = RunLogger({"--port", meter.SlavePath(), "--profile", "X"}, folder);
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.errors.find("unknown profile X (known: \"34401A class\""), std::string::npos)
        << unknown.errors;
    EXPECT_NE(unknown.errors.find("\"Loud 34401A\")"), std::string::npos) << unknown.errors;
    unsetenv("XDG_CONFIG_HOME");
}

TEST(LoggerRun, ANetworkResourceThatCannotBeOneIsRefusedWithItsReason) {
    test::TempFolder folder;
    const LoggerResult zero = RunLogger({"--port", "TCPIP::127.0.0.1::0::SOCKET"}, folder);
    EXPECT_EQ(zero.status, 2);
    EXPECT_NE(zero.errors.find("port 0 is no TCP port"), std::string::npos) << zero.errors;
    TcpListener closed(0);
    const uint16_t nobody = closed.Port();
    closed.StopListening();
    const LoggerResult refused =
        RunLogger({"--port", "127.0.0.1:" + std::to_string(nobody)}, folder);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.errors.find("connection refused"), std::string::npos) << refused.errors;
}

TEST(LoggerRun, ALostPortIsWaitedForAndTheCycleStartsAgainWhenItIsBack) {
    test::TempFolder folder;
    MeterOptions options = Steady();
    options.linkPath = folder / "meter";
    // "Func?" and three readings, then the port is gone for a second.
    options.script = ParseScript("answer\nanswer\nanswer\nanswer\nhangup reopen 1000\n");
    MeterEmulator meter(options);
    meter.Start();
    const LoggerResult run = RunLogger(
        {"--port", options.linkPath, "--count", "6", "--output", folder / "run.csv"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("waiting for it to return"), std::string::npos) << run.errors;
    const std::string text = test::ReadBytes(folder / "run.csv").value_or("");
    EXPECT_EQ(Readings(text), 6u) << text;
    EXPECT_EQ(Events(text), (std::vector<std::string>{
                                "recording started", "meter " + options.linkPath, "function V DC",
                                "port lost", "reconnected", "function V DC", "recording stopped"}));
    const std::vector<std::string> commands = meter.Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "syst:rem"), 2) << "remote mode again";
    EXPECT_EQ(meter.Hangups(), 1);
}

TEST(LoggerRun, ATimeThatRunsOutWhileThePortIsAwayEndsTheRowsCleanly) {
    test::TempFolder folder;
    MeterOptions options = Steady();
    options.linkPath = folder / "meter";
    options.script = ParseScript("answer\nanswer\nhangup\n"); // gone, and not back
    MeterEmulator meter(options);
    meter.Start();
    const LoggerResult run =
        RunLogger({"--port", options.linkPath, "--duration", "1", "--output", "-"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::vector<std::string> events =
        Events(test::ReadBytes(folder / "stdout.txt").value_or(""));
    EXPECT_EQ(events,
              (std::vector<std::string>{"recording started", "meter " + options.linkPath,
                                        "function V DC", "port lost", "recording stopped"}));
}

TEST(LoggerRun, ASettingsFileGivesPortRateBurstsDisplayAndAlarms) {
    MeterEmulator meter(Steady());
    meter.Start();
    test::TempFolder folder;
    // The emulator reads about 1.2345 V DC: the alarm is raised by the first reading.
    const std::string settings = "[COM Info]\r\nPort=" + meter.SlavePath() +
                                 "\r\nbaudrate=9600\r\n"
                                 "[Meter]\r\nName=Bench 3\r\n"
                                 "[Meter Settings]\r\nVOLT.NPLC=0.2\r\nSamples=3\r\n"
                                 "Display=OFF\r\n"
                                 "[Alarms]\r\nCount=2\r\n1.Name=Any volts\r\n"
                                 "1.Function=VOLT\r\n1.Condition=above\r\n1.High=-1000\r\n"
                                 // Raised in the meter's second in remote mode, cleared by
                                 // the first reading.
                                 "2.Name=Quiet\r\n2.Condition=silence\r\n2.Silence=0.3\r\n";
    test::WriteBytes(folder / "velmora.ini", settings);
    const LoggerResult run = RunLogger(
        {"--settings", folder / "velmora.ini", "--function", "dcv", "--count", "5"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("alarm Any volts: 1.23"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("alarm Quiet: no reading for 0.3 s"), std::string::npos)
        << run.errors;
    const std::string text = test::ReadBytes(folder / "stdout.txt").value_or("");
    EXPECT_EQ(Readings(text), 6u) << "two bursts of three for five readings";
    EXPECT_EQ(Occurrences(text, ",burst,"), 6u) << text;
    const std::vector<std::string> events = Events(text);
    ASSERT_GE(events.size(), 7u);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 5),
              (std::vector<std::string>{"recording started", "meter Bench 3", "alarm raised Quiet",
                                        "in force VOLT: 0.2 PLC; resolution 100 uV; range 10 V; "
                                        "autorange on; autozero on; input impedance 10 Mohm",
                                        "function V DC"}));
    // Both at the first reading.
    for (const char* event : {"alarm cleared Quiet", "alarm raised Any volts"}) {
        EXPECT_NE(std::find(events.begin() + 5, events.end(), event), events.end()) << event;
    }
    const std::vector<std::string> commands = meter.Commands();
    ASSERT_GE(commands.size(), 14u);
    EXPECT_EQ(std::vector<std::string>(commands.begin(), commands.begin() + 14),
              (std::vector<std::string>{"syst:rem", "CONF:VOLT:DC", "VOLT:DC:NPLC 0.2",
                                        "SAMP:COUN 3", "DISP OFF", "SYST:ERR?", "VOLT:DC:NPLC?",
                                        "VOLT:DC:RES?", "VOLT:DC:RANG?", "VOLT:DC:RANG:AUTO?",
                                        "ZERO:AUTO?", "INP:IMP:AUTO?", "Func?", "Read?"}));
    ASSERT_TRUE(meter.WaitForReceived("syst:loc\r\n", 10s));
    const std::vector<std::string> last = meter.Commands();
    EXPECT_EQ(std::vector<std::string>(last.end() - 2, last.end()),
              (std::vector<std::string>{"DISP ON", "syst:loc"}))
        << "the display back on for the next person at the bench";
}

TEST(LoggerRun, MathGivesTheDerivedColumnsAndAnOldFileKeepsItsSeven) {
    MeterEmulator meter(Steady());
    meter.Start();
    test::TempFolder folder;
    const std::string file = folder / "math.csv";
    // About 1.2345 V: 1234.5 mV, inside the limits.
    const std::vector<std::string> math = {"--function", "dcv",       "--scale", "1000,0,mV",
                                           "--limits",   "1000,2000", "--count", "4"};
    std::vector<std::string> arguments = {"--port", meter.SlavePath(), "--output", file};
    arguments.insert(arguments.end(), math.begin(), math.end());
    LoggerResult run = RunLogger(arguments, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    std::string bytes = test::ReadBytes(file).value_or("");
    EXPECT_EQ(
        bytes.rfind("sequence,time,seconds,value,unit,status,event,math,math_unit,limit\n", 0), 0u)
        << bytes;
    std::optional<SavedRun> saved = ReadRun(bytes);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->readings, 4u);
    for (const RunRow& row : saved->rows) {
        if (row.value) {
            ASSERT_TRUE(row.math);
            EXPECT_NEAR(*row.math, static_cast<double>(*row.value) * 1000, 1e-6);
            EXPECT_EQ(row.mathUnit, "mV");
            EXPECT_EQ(row.limit, "pass");
        }
    }

    const std::string old = folder / "old.csv";
    test::WriteBytes(old, "sequence,time,seconds,value,unit,status,event\n");
    arguments = {"--port", meter.SlavePath(), "--output", old};
    arguments.insert(arguments.end(), math.begin(), math.end());
    run = RunLogger(arguments, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(Occurrences(run.errors, "has no math columns"), 1u) << run.errors;
    saved = ReadRun(test::ReadBytes(old).value_or(""));
    ASSERT_TRUE(saved) << "still a seven-column recording";
    EXPECT_FALSE(saved->stoppedAt);
    EXPECT_EQ(saved->readings, 4u);

    EXPECT_EQ(RunLogger({"--port", meter.SlavePath(), "--scale", "2"}, folder).status, 1)
        << "math needs a function";
}

TEST(LoggerRun, LinksNoWindowLibraries) {
    // Small boards and SSH sessions have no display libraries to offer.
    const std::string command = std::string("ldd '") + VELMORA_LOG_PROGRAM + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        libraries += buffer;
    }
    ASSERT_EQ(pclose(pipe), 0) << libraries;
    EXPECT_NE(libraries.find("libQt6Core"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt6Widgets"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("libQt6Gui"), std::string::npos) << libraries;
}

// The logger against the window's runs recorded before the engine, where
// the logger can do the same: connect and read, lose the port and get it
// back, stop. The same bytes, each within a tick of the recorded spacing.
struct LoggerRun {
    const char* recorded;
    const char* script;
    const char* count;
    // How many of the meter's commands the run covers.
    size_t (*covered)(const std::vector<std::string>& commands);
};

const LoggerRun kRecordedRuns[] = {
    {"window-connect", "", "5",
     [](const std::vector<std::string>& commands) { return test::ThroughReads(commands, 0, 5); }},
    {"window-lost-port", "answer\nanswer\nanswer\nanswer\nhangup reopen 1000\n", "6",
     [](const std::vector<std::string>& commands) {
         return test::ThroughReads(commands, test::IndexOf(commands, "syst:rem", 1), 3);
     }},
    {"window-disconnect", "", "3",
     [](const std::vector<std::string>& commands) {
         return test::IndexOf(commands, "syst:loc") + 1;
     }},
};

class LoggerRecordedRuns : public ::testing::TestWithParam<LoggerRun> {};

TEST_P(LoggerRecordedRuns, TheLoggerSendsWhatTheWindowSent) {
    const LoggerRun& row = GetParam();
    test::TempFolder folder;
    MeterOptions options; // as the window's runs were recorded
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    options.linkPath = folder / "meter";
    options.script = ParseScript(row.script);
    MeterEmulator meter(options);
    meter.Start();
    const LoggerResult run =
        RunLogger({"--port", options.linkPath, "--count", row.count, "--output", "-"}, folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::vector<std::string> commands = meter.Commands();
    const test::Trace trace = test::TraceOf(commands, meter.CommandTimes(),
                                            std::min(row.covered(commands), commands.size()));
    const test::Trace recorded = test::RecordedRun(row.recorded);
    ASSERT_FALSE(recorded.empty()) << test::RecordedRunPath(row.recorded);
    const std::vector<std::string> differences = test::TraceDifferences(recorded, trace);
    EXPECT_TRUE(differences.empty()) << ::testing::PrintToString(differences) << "\n"
                                     << test::FormatTrace(trace);
}

INSTANTIATE_TEST_SUITE_P(Logger, LoggerRecordedRuns, ::testing::ValuesIn(kRecordedRuns),
                         [](const ::testing::TestParamInfo<LoggerRun>& row) {
                             std::string name = row.param.recorded;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace velmora
