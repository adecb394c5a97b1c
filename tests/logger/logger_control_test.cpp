// velmora-log serving scripts over real sockets, against the emulated meter: each command's
// reply, the folder's and files' modes, the token on TCP, hostile clients, and lines passed to
// the meter between polls without a reading lost or given twice.
#include "record/run_reader.h"
#include "tests/logger/logger_process.h"
#include "tests/settings/temp_folder.h"
#include "tests/support/control_client.h"
#include "tools/meter/meter_emulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>

namespace velmora {
namespace {

const char* const kNumber = R"([-+]\d\.\d{8}E[-+]\d{2})";

// The logger on `meter`, serving in a runtime folder of the test's own;
// "@" in an argument is the test's folder.
class ControlledLogger {
public:
    ControlledLogger(MeterEmulator& meter, const std::vector<std::string>& extra) {
        runtime_ = folder_ / "runtime";
        ::mkdir(runtime_.c_str(), 0700);
        ::mkdir((folder_ / "records").c_str(), 0755);
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        std::vector<std::string> arguments = {"--port", meter.SlavePath()};
        for (std::string argument : extra) {
            if (argument.starts_with('@')) {
                argument = folder_ / argument.substr(1);
            }
            arguments.push_back(argument);
        }
        pid_ = StartLogger(arguments, folder_);
    }
    ~ControlledLogger() {
        if (pid_ != 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    std::string socketFolder() const { return runtime_ + "/velmora"; }
    // Waits for `file` in the socket folder.
    bool waitFor(const std::string& file) const {
        for (int i = 0; i < 200; ++i) {
            struct stat info {};
            if (::stat((socketFolder() + "/" + file).c_str(), &info) == 0) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::string errors() const { return test::ReadBytes(folder_ / "stderr.txt").value_or(""); }
    // Stops it with SIGINT; its exit status.
    int stop() {
        kill(pid_, SIGINT);
        const LoggerResult result = WaitForLogger(pid_, folder_);
        pid_ = 0;
        return result.status;
    }
    test::TempFolder& folder() { return folder_; }

private:
    test::TempFolder folder_;
    std::string runtime_;
    pid_t pid_ = 0;
};

std::string SocketNameOf(const MeterEmulator& meter) {
    const std::string path = meter.SlavePath();
    return path.substr(path.find_last_of('/') + 1) + ".sock";
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

// Asks FETC? until a reading is fresh (at most 10 s).
bool WaitForReading(test::ControlClient& client) {
    for (int i = 0; i < 100; ++i) {
        const std::optional<std::string> reply = client.ask("FETC?");
        if (reply && *reply != "9.91E37") {
            return true;
        }
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

MeterOptions SteadyMeter() {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    options.interruptQueries = true;
    options.measureTime = 5ms;
    return options;
}

TEST(LoggerControl, TheUnixSocketAnswersEachCommandAsTheTableSays) {
    MeterEmulator meter(SteadyMeter());
    meter.Start();
    ControlledLogger logger(meter,
                            {"--control", "--record-folder", "@records", "--output", "@run.csv"});
    const std::string records = logger.folder() / "records";
    ASSERT_TRUE(logger.waitFor(SocketNameOf(meter))) << logger.errors();
    const std::string socket = logger.socketFolder() + "/" + SocketNameOf(meter);
    EXPECT_EQ(ModeOf(logger.socketFolder()), 0700u);
    EXPECT_EQ(ModeOf(socket), 0600u);
    EXPECT_NE(logger.errors().find("control socket: " + socket), std::string::npos);

    test::ControlClient client(socket);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(WaitForReading(client));
    struct Row {
        const char* send;
        std::string reply; // a pattern
    };
    const Row rows[] = {
        {"*IDN?", R"(Velmora,control interface,0,\d+\.\d+,34401A class)"},
        {"*opc?", "1"},
        {"FUNC?", "\"VOLT\""},
        {"UNIT?", "V DC"},
        {"READ?", kNumber},
        {"fetch?", kNumber},
        {"INIT;FETC?", kNumber},
        {"READ?;READ?", std::string(kNumber) + ";" + kNumber},
        {"*CLS;STAT:QUES?", "0"}, // after the stale fetches of the wait
        {"SYST:ERR?", "\\+0,\"No error\""},
        {"ALAR?", "\"\""},
        {"REC:STAT?", "0"},
        {"METER? \"READ?\"", ""}, // not allowed: an empty line, and why in the queue
        {"SYST:ERR?", "-221,\"Settings conflict;meter commands are off\""},
        {"BOGUS?;*OPC?", "1"},
        {"SYST:ERR?", "-113,\"Undefined header\""},
        {"REC:FILE \"../outside.csv\";SYST:ERR?",
         "-151,\"Invalid string data;a bare file name, no folder\""},
        {"REC:FILE \"client.csv\";REC:STAT ON;REC:STAT?;REC:FILE?", "1;\"client.csv\""},
        {"READ?;READ?;READ?", std::string(kNumber) + ";" + kNumber + ";" + kNumber},
        {"REC:STAT OFF;REC:STAT?", "0"},
    };
    for (const Row& row : rows) {
        const std::optional<std::string> reply = client.ask(row.send);
        ASSERT_TRUE(reply) << row.send;
        EXPECT_TRUE(std::regex_match(*reply, std::regex(row.reply)))
            << row.send << " -> " << *reply;
    }
    EXPECT_FALSE(std::filesystem::exists(logger.folder() / "outside.csv"));
    EXPECT_FALSE(std::filesystem::exists("outside.csv"));
    const std::optional<SavedRun> clientRun =
        ReadRun(test::ReadBytes(records + "/client.csv").value_or(""));
    ASSERT_TRUE(clientRun) << "the client's recording is in the recording folder";
    EXPECT_GE(clientRun->readings, 3u);
    EXPECT_EQ(clientRun->rows.back().event, "recording stopped");

    // Hostile lines: too long, binary; the interface goes on answering.
    EXPECT_TRUE(client.send(std::string(6000, 'X') + "\n" + std::string("\x00\xff\x1b[2J\n", 7)));
    EXPECT_EQ(client.ask("*OPC?"), "1");
    EXPECT_EQ(client.ask("SYST:ERR?;SYST:ERR?"),
              "-223,\"Too much data;line longer than 4096 bytes\";-113,\"Undefined header\"");
    EXPECT_EQ(logger.stop(), 0) << logger.errors();
    EXPECT_FALSE(std::filesystem::exists(socket)) << "the socket goes with the logger";
}

TEST(LoggerControl, ClientsThatFloodNeverReadOrLeaveMidReplyDoNotStopTheReadings) {
    MeterEmulator meter(SteadyMeter());
    meter.Start();
    ControlledLogger logger(meter, {"--control", "--output", "@run.csv"});
    ASSERT_TRUE(logger.waitFor(SocketNameOf(meter))) << logger.errors();
    const std::string socket = logger.socketFolder() + "/" + SocketNameOf(meter);
    test::ControlClient client(socket);
    ASSERT_TRUE(WaitForReading(client));

    // One never reads what it asks for: its replies pile up, then it is held.
    test::ControlClient deaf(socket);
    std::string flood;
    for (int i = 0; i < 20000; ++i) {
        flood += "*IDN?\n";
    }
    std::thread flooder([&] { deaf.send(flood); });
    // One leaves while its reply is being made.
    for (int i = 0; i < 5; ++i) {
        test::ControlClient leaver(socket);
        leaver.send("READ?\n");
    }
    const size_t before = ReadRun(test::ReadBytes(logger.folder() / "run.csv").value_or(""))
                              .value_or(SavedRun{})
                              .readings;
    for (int i = 0; i < 10; ++i) {
        const std::optional<std::string> reply = client.ask("READ?", 3s);
        ASSERT_TRUE(reply) << "READ? " << i << " while the others misbehave";
        EXPECT_TRUE(std::regex_match(*reply, std::regex(kNumber))) << *reply;
    }
    const size_t after = ReadRun(test::ReadBytes(logger.folder() / "run.csv").value_or(""))
                             .value_or(SavedRun{})
                             .readings;
    EXPECT_GE(after, before + 10) << "the readings go on";
    deaf.closeNow();
    flooder.join();
    EXPECT_EQ(client.ask("*OPC?"), "1");
    EXPECT_EQ(logger.stop(), 0) << logger.errors();
    EXPECT_EQ(meter.InterruptedQueries(), 0);
}

TEST(LoggerControl, TcpIsOnTheLoopbackOnlyAndNeedsTheToken) {
    MeterEmulator meter(SteadyMeter());
    meter.Start();
    ControlledLogger logger(meter, {"--control-tcp", "0", "--output", "@run.csv"});
    const std::string name = SocketNameOf(meter);
    const std::string tokenName = name.substr(0, name.size() - 5) + ".token";
    ASSERT_TRUE(logger.waitFor(tokenName)) << logger.errors();
    const std::string tokenPath = logger.socketFolder() + "/" + tokenName;
    EXPECT_EQ(ModeOf(tokenPath), 0600u);
    EXPECT_FALSE(std::filesystem::exists(logger.socketFolder() + "/" + name))
        << "no Unix socket unless asked for";
    std::smatch found;
    std::string errors;
    for (int i = 0; i < 100 && !std::regex_search(errors, found, std::regex("port (\\d+);")); ++i) {
        std::this_thread::sleep_for(50ms);
        errors = logger.errors();
    }
    ASSERT_FALSE(found.empty()) << errors;
    const int port = std::stoi(found[1]);
    EXPECT_NE(errors.find("token in " + tokenPath), std::string::npos) << errors;
    EXPECT_EQ(errors.find("warning"), std::string::npos) << errors;

    // The kernel's own table: listening (0A) on 127.0.0.1 (0100007F) only.
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::vector<std::string> listening;
    char portHex[8];
    std::snprintf(portHex, sizeof portHex, ":%04X", port);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (local.ends_with(portHex) && state == "0A") {
            listening.push_back(local);
        }
    }
    EXPECT_EQ(listening, std::vector<std::string>{std::string("0100007F") + portHex});

    test::ControlClient client(static_cast<uint16_t>(port));
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(WaitForReading(client)) << "FETC? answers before AUTH";
    EXPECT_TRUE(std::regex_match(client.ask("*IDN?;UNIT?;STAT:QUES?").value_or(""),
                                 std::regex("Velmora,.*;V DC;[01]")));
    EXPECT_EQ(client.ask("REC:STAT?", 500ms), std::nullopt) << "protected before AUTH";
    client.send("AUTH \"not the token\"\n");
    EXPECT_EQ(client.ask("REC:STAT?", 500ms), std::nullopt);
    std::string token = test::ReadBytes(tokenPath).value_or("");
    ASSERT_EQ(token.size(), 33u);
    token.pop_back();
    client.send("AUTH \"" + token + "\"\n");
    EXPECT_EQ(client.ask("REC:STAT?"), "0");
    EXPECT_EQ(client.ask("SYST:ERR?;SYST:ERR?;SYST:ERR?;SYST:ERR?"),
              "-203,\"Command protected;send AUTH with the token first\";"
              "-203,\"Command protected;wrong token\";"
              "-203,\"Command protected;send AUTH with the token first\";+0,\"No error\"");
    EXPECT_EQ(logger.stop(), 0) << logger.errors();
    EXPECT_FALSE(std::filesystem::exists(tokenPath)) << "the token goes with the logger";
}

TEST(LoggerControl, MeterQueriesFromThreeClientsTakeNoReadingOfTheRecordings) {
    MeterOptions options = SteadyMeter();
    options.model.counter = true;
    options.measureTime = 2ms;
    MeterEmulator meter(options);
    meter.Start();
    ControlledLogger logger(
        meter, {"--control", "--allow-meter-commands", "--fast", "--output", "@run.csv"});
    ASSERT_TRUE(logger.waitFor(SocketNameOf(meter))) << logger.errors();
    const std::string socket = logger.socketFolder() + "/" + SocketNameOf(meter);
    {
        test::ControlClient first(socket);
        ASSERT_TRUE(WaitForReading(first));
    }
    constexpr int kClients = 3;
    constexpr int kEach = 334; // 1,002 in all
    std::vector<std::vector<std::string>> replies(kClients);
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            test::ControlClient client(socket);
            for (int i = 0; i < kEach; ++i) {
                const std::optional<std::string> reply = client.ask("METER? \"READ?\"");
                if (!reply) {
                    break;
                }
                replies[c].push_back(*reply);
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    test::ControlClient last(socket);
    EXPECT_EQ(last.ask("SYST:ERR?"), "+0,\"No error\"");
    EXPECT_TRUE(std::regex_match(last.ask("METER? \"SYST:ERR?\"").value_or(""),
                                 std::regex("\\+0,\"No error\"")))
        << "nothing interrupted on the meter";
    EXPECT_EQ(logger.stop(), 0) << logger.errors();
    EXPECT_EQ(meter.InterruptedQueries(), 0);

    // Every counter value once: in the recording, or in one client's replies.
    std::map<long long, std::string> whose;
    const std::optional<SavedRun> run =
        ReadRun(test::ReadBytes(logger.folder() / "run.csv").value_or(""));
    ASSERT_TRUE(run);
    for (const RunRow& row : run->rows) {
        if (row.value) {
            const auto value = static_cast<long long>(*row.value);
            EXPECT_TRUE(whose.emplace(value, "recording").second) << value << " twice";
        }
    }
    for (int c = 0; c < kClients; ++c) {
        ASSERT_EQ(replies[c].size(), static_cast<size_t>(kEach)) << "client " << c;
        for (const std::string& reply : replies[c]) {
            const auto value = static_cast<long long>(std::strtod(reply.c_str(), nullptr));
            const auto [at, fresh] = whose.emplace(value, "client " + std::to_string(c));
            EXPECT_TRUE(fresh) << value << " for client " << c << " and " << at->second;
        }
    }
    ASSERT_FALSE(whose.empty());
    EXPECT_EQ(whose.rbegin()->first - whose.begin()->first + 1,
              static_cast<long long>(whose.size()))
        << "no counter value missing between the first and the last";
    EXPECT_GE(whose.size(), static_cast<size_t>(kClients * kEach));
}

TEST(LoggerControl, TheReadmesPythonScriptReadsAndRecords) {
    if (std::system("python3 -c pass > /dev/null 2>&1") != 0) {
        GTEST_SKIP() << "no python3 (scripts/setup installs it)";
    }
    MeterEmulator meter(SteadyMeter());
    meter.Start();
    ControlledLogger logger(
        meter, {"--control", "--fast", "--record-folder", "@records", "--output", "@run.csv"});
    ASSERT_TRUE(logger.waitFor(SocketNameOf(meter))) << logger.errors();
    const std::string socket = logger.socketFolder() + "/" + SocketNameOf(meter);
    const std::string out = logger.folder() / "script.out";
    const std::string command = std::string("python3 ") + VELMORA_CLIENT_EXAMPLE + " '" + socket +
                                "' 100 scripted > '" + out + "' 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << test::ReadBytes(out).value_or("");
    const std::string printed = test::ReadBytes(out).value_or("");
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 101) << printed; // and the identity
    EXPECT_EQ(printed.find("9.91E37"), std::string::npos);
    const std::optional<SavedRun> recorded =
        ReadRun(test::ReadBytes(logger.folder() / "records/scripted.csv").value_or(""));
    ASSERT_TRUE(recorded) << "the script's recording, .csv added";
    EXPECT_GE(recorded->readings, 100u);
    EXPECT_EQ(recorded->rows.back().event, "recording stopped");
    EXPECT_EQ(logger.stop(), 0) << logger.errors();
}

TEST(LoggerControl, CalcDataIsTheDerivedValueWhileFetchStaysRaw) {
    MeterEmulator meter(SteadyMeter());
    meter.Start();
    ControlledLogger logger(
        meter, {"--control", "--function", "dcv", "--scale", "1000,0,mV", "--output", "@run.csv"});
    ASSERT_TRUE(logger.waitFor(SocketNameOf(meter))) << logger.errors();
    test::ControlClient client(logger.socketFolder() + "/" + SocketNameOf(meter));
    ASSERT_TRUE(WaitForReading(client));
    // One line: both answers are of the same last reading.
    const std::string reply = client.ask("FETC?;CALC:DATA?").value_or("");
    const size_t semicolon = reply.find(';');
    ASSERT_NE(semicolon, std::string::npos) << reply;
    const double raw = std::strtod(reply.c_str(), nullptr);
    const double derived = std::strtod(reply.c_str() + semicolon + 1, nullptr);
    EXPECT_NEAR(raw, 1.2345, 0.01) << reply;
    EXPECT_NEAR(derived, raw * 1000, 1e-4) << reply;
    EXPECT_EQ(logger.stop(), 0) << logger.errors();
}

TEST(LoggerControl, AFolderOthersCanWriteToIsRefusedAndSaid) {
    MeterEmulator meter(SteadyMeter());
    meter.Start();
    test::TempFolder folder;
    const std::string runtime = folder / "runtime";
    ::mkdir(runtime.c_str(), 0700);
    ::mkdir((runtime + "/velmora").c_str(), 0700);
    ::chmod((runtime + "/velmora").c_str(), 0777);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const LoggerResult run =
        RunLogger({"--port", meter.SlavePath(), "--control", "--count", "1"}, folder);
    EXPECT_EQ(run.status, 5);
    EXPECT_NE(run.errors.find("cannot serve the control interface: others can write to " + runtime +
                              "/velmora"),
              std::string::npos)
        << run.errors;
}

} // namespace
} // namespace velmora
