// velmora-log run against the emulated meter: what reaches the meter, the file and the exit
// status, for a count, a signal, a port that is not there and a meter that never answers.
#include "record/run_reader.h"
#include "tests/settings/temp_folder.h"
#include "tools/meter/meter_emulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
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

struct LoggerResult {
    int status = -1; // exit status, or -1 when it did not end by itself
    std::string errors;
};

// Starts velmora-log with `arguments`; `whileRunning` may signal it.
LoggerResult RunLogger(const std::vector<std::string>& arguments, test::TempFolder& folder,
                       const std::function<void(pid_t)>& whileRunning = {}) {
    const std::string errorsPath = folder / "stderr.txt";
    std::vector<std::string> all = {VELMORA_LOG_PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : all) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 1, (folder / "stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    LoggerResult run;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << VELMORA_LOG_PROGRAM;
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (whileRunning) {
        whileRunning(pid);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "velmora-log did not end";
            return run;
        }
        std::this_thread::sleep_for(10ms);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.errors = test::ReadBytes(errorsPath).value_or("");
    return run;
}

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
    ASSERT_GE(commands.size(), 6u);
    EXPECT_EQ(
        std::vector<std::string>(commands.begin(), commands.begin() + 5),
        (std::vector<std::string>{"syst:rem", "CONF:RES", "RES:NPLC 1", "SYST:ERR?", "Func?"}));
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
    silent.script = ParseScript("silence\n"); // "Func?" is never answered
    MeterEmulator meter(silent);
    meter.Start();
    const LoggerResult quiet = RunLogger({"--port", meter.SlavePath()}, folder);
    EXPECT_EQ(quiet.status, 3);
    EXPECT_NE(quiet.errors.find("the meter does not answer"), std::string::npos) << quiet.errors;

    const LoggerResult unwritable =
        RunLogger({"--port", meter.SlavePath(), "--output", folder / "no-folder/x.csv"}, folder);
    EXPECT_EQ(unwritable.status, 4);
    EXPECT_NE(unwritable.errors.find("cannot write"), std::string::npos) << unwritable.errors;

    const LoggerResult bad = RunLogger({"--count", "many"}, folder);
    EXPECT_EQ(bad.status, 1);
}

} // namespace
} // namespace velmora
