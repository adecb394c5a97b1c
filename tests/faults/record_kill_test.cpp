// Killed while recording: the program records the meter at full rate and is killed (SIGKILL) at a
// random moment; every reading the meter sent a tenth of a second before the kill is in the file,
// in order, with no gap in the sequence numbers.
#include "record/recording_format.h"
#include "record/run_reader.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/fault_test_support.h"
#include "text/real_conversion.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <mutex>
#include <random>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace velmora::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Sent {
    std::string text;
    Clock::time_point at;
};

// The sequence numbers of a recording's rows, in file order.
std::vector<uint64_t> Sequences(const std::string& text) {
    std::vector<uint64_t> numbers;
    size_t at = text.find('\n'); // past the header
    while (at != std::string::npos && at + 1 < text.size()) {
        const size_t end = text.find('\n', at + 1);
        if (end == std::string::npos)
            break; // a torn last line (none expected: each row is one write)
        numbers.push_back(std::strtoull(text.c_str() + at + 1, nullptr, 10));
        at = end;
    }
    return numbers;
}

TEST(RecordKill, NothingHandedToTheKernelIsLost) {
    const int64_t runs = SoakSetting("VELMORA_KILL_RUNS", 20, 100);
    std::mt19937 random(11);
    for (int64_t run = 1; run <= runs; ++run) {
        SCOPED_TRACE(run);
        TempFolder folder;
        std::mutex mutex;
        std::vector<Sent> sent;
        MeterOptions options; // no byte timing: as fast as the polling goes
        options.onAnswerText = [&](const std::string& text, Clock::time_point at) {
            std::lock_guard lock(mutex);
            sent.push_back({text, at});
        };
        MeterEmulator meter(options);
        meter.Start();
        const std::string file = folder / "run.csv";
        const std::string settings = folder / "velmora.ini";
        const std::string port = meter.SlavePath();
        std::vector<char*> argv = {const_cast<char*>(VELMORA_RECORD_CHILD),
                                   const_cast<char*>(port.c_str()), const_cast<char*>(file.c_str()),
                                   const_cast<char*>(settings.c_str()), nullptr};
        pid_t child = -1;
        ASSERT_EQ(
            ::posix_spawn(&child, VELMORA_RECORD_CHILD, nullptr, nullptr, argv.data(), environ), 0);
        // Let it record a while: a random moment, some readings in.
        const auto started = Clock::now();
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (sent.size() >= 3)
                    break;
            }
            ASSERT_LT(Clock::now() - started, std::chrono::seconds(30)) << "no readings came";
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(
            std::chrono::milliseconds(std::uniform_int_distribution<int>(0, 700)(random)));
        const Clock::time_point killedAt = Clock::now();
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: status " << status;
        meter.Stop();

        std::vector<long double> expected; // readings sent well before the kill
        for (const Sent& answer : sent) {
            if (answer.at + std::chrono::milliseconds(100) > killedAt || answer.text.front() == '"')
                continue;
            expected.push_back(ParseReal(answer.text, '.'));
        }
        const std::string text = ReadBytes(file).value_or("");
        const std::optional<SavedRun> recording = ReadRun(text);
        ASSERT_TRUE(recording.has_value()) << text.substr(0, 200);
        std::vector<double> recorded;
        for (const RunRow& row : recording->rows)
            if (row.value)
                recorded.push_back(static_cast<double>(*row.value));
        ASSERT_GE(recorded.size(), expected.size()) << "readings were lost";
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(recorded[i], static_cast<double>(expected[i])) << "reading " << i;
        const std::vector<uint64_t> sequences = Sequences(text);
        for (size_t i = 0; i < sequences.size(); ++i)
            ASSERT_EQ(sequences[i], i + 1) << "a gap in the sequence numbers";
    }
}

} // namespace
} // namespace velmora::test
