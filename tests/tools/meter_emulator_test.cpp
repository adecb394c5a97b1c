// The simulated meter end to end on a pseudo-terminal, talking to a plain descriptor as the
// program.
#include "tools/meter/meter_emulator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The program's side: a raw, non-blocking descriptor on the slave.
class Port {
public:
    explicit Port(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (fd_ >= 0 && tcgetattr(fd_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(fd_, TCSANOW, &t);
        }
    }
    ~Port() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Open() const { return fd_ >= 0; }
    void Send(std::string_view text) const {
        ASSERT_EQ(::write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Reads until `count` bytes or `timeout`; a hang-up ends it early.
    std::string Read(size_t count, std::chrono::milliseconds timeout,
                     bool* hungUp = nullptr) const {
        std::string bytes;
        const auto deadline = Clock::now() + timeout;
        while (bytes.size() < count && Clock::now() < deadline) {
            pollfd in{fd_, POLLIN, 0};
            ::poll(&in, 1, 10);
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - bytes.size()));
            if (n > 0)
                bytes.append(buffer, static_cast<size_t>(n));
            else if (n == 0 || (n < 0 && errno == EIO)) {
                if (hungUp)
                    *hungUp = true;
                break;
            }
        }
        return bytes;
    }

private:
    int fd_ = -1;
};

MeterOptions Quiet() {
    MeterOptions options;
    options.model.overloadChance = 0;
    options.model.rangeChangeChance = 0;
    return options;
}

TEST(MeterEmulator, AnswersQueriesAndRecordsEverything) {
    MeterEmulator meter(Quiet());
    meter.Start();
    Port port(meter.SlavePath());
    ASSERT_TRUE(port.Open());
    port.Send("syst:rem\r\nFunc?\r\n");
    EXPECT_EQ(port.Read(8, 10s), "\"VOLT\"\r\n");
    port.Send("Meas:RES?\r\n");
    const std::string reading = port.Read(17, 10s);
    ASSERT_EQ(reading.size(), 17u);
    EXPECT_EQ(reading.substr(11), "E+03\r\n");
    EXPECT_EQ(meter.Function(), MeterFunction::Resistance);
    ASSERT_TRUE(meter.WaitForReceived("Meas:RES?\r\n", 10s));
    EXPECT_EQ(meter.Received(), "syst:rem\r\nFunc?\r\nMeas:RES?\r\n");
    EXPECT_EQ(meter.Commands(), (std::vector<std::string>{"syst:rem", "Func?", "Meas:RES?"}));
}

TEST(MeterEmulator, ScriptShapesTheAnswers) {
    MeterOptions options = Quiet();
    options.script = ParseScript("reply +1.16040760E+03\n"
                                 "silence\n"
                                 "overload -\n"
                                 "garbage 5\n"
                                 "answer\n");
    MeterEmulator meter(options);
    meter.Start();
    Port port(meter.SlavePath());
    port.Send("syst:rem\r\n"); // not a query: uses up no step
    port.Send("Read?\r\n");
    EXPECT_EQ(port.Read(17, 10s), "+1.16040760E+03\r\n");
    port.Send("Read?\r\n"); // silence
    port.Send("Meas:Cont?\r\n");
    EXPECT_EQ(port.Read(17, 10s), "-9.90000000E+37\r\n");
    EXPECT_EQ(meter.Function(), MeterFunction::Continuity) << "Meas switches even when scripted";
    port.Send("Read?\r\n");
    const std::string garbage = port.Read(7, 10s);
    ASSERT_EQ(garbage.size(), 7u);
    EXPECT_EQ(garbage.substr(5), "\r\n");
    EXPECT_EQ(garbage.find_first_of("\r\n\x11\x13"), 5u);
    port.Send("Func?\r\n");
    EXPECT_EQ(port.Read(8, 10s), "\"CONT\"\r\n");
    EXPECT_EQ(meter.PendingSteps(), 0u);
}

TEST(MeterEmulator, SplitReplyComesInTwoPartsWithTheGap) {
    MeterOptions options = Quiet();
    options.script = ParseScript("split 150 +1.1604|0760E+03");
    MeterEmulator meter(options);
    meter.Start();
    Port port(meter.SlavePath());
    port.Send("Read?\r\n");
    EXPECT_EQ(port.Read(7, 10s), "+1.1604");
    const auto firstPart = Clock::now();
    EXPECT_EQ(port.Read(10, 10s), "0760E+03\r\n");
    // A lower bound only: the meter can be late, never early.
    EXPECT_GE(Clock::now() - firstPart, 100ms);
}

TEST(MeterEmulator, ByteTimingAndMeasurementTimeSlowTheAnswer) {
    MeterOptions options = Quiet();
    options.baud = 9600;
    options.measureTime = 30ms;
    MeterEmulator meter(options);
    meter.Start();
    Port port(meter.SlavePath());
    const auto asked = Clock::now();
    port.Send("Read?\r\n");
    EXPECT_EQ(port.Read(17, 10s).size(), 17u);
    // The command's 7 bytes reach the meter at line speed, then 30 ms to
    // measure and 17 reply bytes of about 1.04 ms each, at the least.
    EXPECT_GE(Clock::now() - asked, 6ms + 30ms + 16ms);
}

TEST(MeterEmulator, IntegrationTimeAndTwoStopBitsSlowTheReadingAsSet) {
    MeterOptions options = Quiet();
    options.baud = 9600;
    options.meterStopBits = 2;
    options.modelIntegrationTime = true;
    MeterEmulator meter(options);
    meter.Start();
    Port port(meter.SlavePath());
    port.Send("VOLT:DC:NPLC 10\r\nZERO:AUTO ON\r\n");
    const auto asked = Clock::now();
    port.Send("Read?\r\n");
    EXPECT_EQ(port.Read(17, 10s).size(), 17u);
    // 10 PLC at 50 Hz is 200 ms, twice that with autozero; 17 bytes of 11 bits.
    EXPECT_GE(Clock::now() - asked, 6ms + 400ms + 19ms);
    const auto again = Clock::now();
    port.Send("Func?\r\n");
    EXPECT_EQ(port.Read(8, 10s), "\"VOLT\"\r\n");
    EXPECT_LT(Clock::now() - again, 400ms) << "only readings integrate";
}

TEST(MeterEmulator, ACommandDuringAnAnswerInterruptsTheQuery) {
    MeterOptions options = Quiet();
    options.measureTime = 300ms;
    options.interruptQueries = true;
    MeterEmulator meter(options);
    meter.Start();
    Port port(meter.SlavePath());
    port.Send("Read?\r\n");
    ASSERT_TRUE(meter.WaitForReceived("Read?\r\n", 10s));
    port.Send("DISP OFF\r\n"); // while the meter still measures
    port.Send("SYST:ERR?\r\n");
    // Exactly the 26 bytes of the error: no reading before it, nothing after.
    const std::string answer = port.Read(26, 10s);
    EXPECT_EQ(answer, "-410,\"Query INTERRUPTED\"\r\n") << "no reading, and the error queued";
    EXPECT_EQ(port.Read(1, 300ms), "");
    EXPECT_EQ(meter.InterruptedQueries(), 1);
}

TEST(MeterEmulator, ReportsTheMomentOfEachAnswersLastByte) {
    std::mutex mutex;
    std::condition_variable reported;
    std::vector<Clock::time_point> sent;
    MeterOptions options = Quiet();
    options.baud = 9600;
    options.onAnswerSent = [&](Clock::time_point at) {
        std::lock_guard<std::mutex> lock(mutex);
        sent.push_back(at);
        reported.notify_all();
    };
    MeterEmulator meter(options);
    meter.Start();
    Port port(meter.SlavePath());
    const auto reportCount = [&](size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return reported.wait_for(lock, 10s, [&] { return sent.size() >= count; });
    };
    size_t answers = 0;
    for (const char* query : {"Read?\r\n", "Func?\r\n"}) {
        const auto asked = Clock::now();
        port.Send(query);
        const std::string reply = port.Read(query[0] == 'R' ? 17 : 8, 10s);
        const auto received = Clock::now();
        ASSERT_FALSE(reply.empty());
        ASSERT_TRUE(reportCount(++answers)) << query;
        std::lock_guard<std::mutex> lock(mutex);
        // Taken just before the last byte went out: after the command and
        // the other reply bytes had crossed the line, before we read it.
        EXPECT_GE(sent.back() - asked, 6ms + 1ms * static_cast<int>(reply.size() - 2));
        EXPECT_LE(sent.back(), received);
    }
    meter.Inject(ScriptStep{ScriptStep::Kind::Silence, {}, {}, 0, 0, false, false});
    port.Send("Read?\r\n");
    EXPECT_TRUE(port.Read(1, 300ms).empty());
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(sent.size(), 2u) << "a silent query sends no answer";
}

TEST(MeterEmulator, InjectedStepsRunInOrder) {
    MeterEmulator meter(Quiet());
    meter.Start();
    Port port(meter.SlavePath());
    meter.Inject(ParseScript("xoff\nsend hello\nxon\nreply done"));
    EXPECT_EQ(port.Read(7, 10s), "\x13hello\x11");
    port.Send("Read?\r\n");
    EXPECT_EQ(port.Read(6, 10s), "done\r\n");
}

TEST(MeterEmulator, HangupClosesAndReopensBehindTheLink) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velmora-meter-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    for (const bool gap : {false, true}) {
        SCOPED_TRACE(gap ? "gone for a while" : "back at once");
        MeterOptions options = Quiet();
        options.linkPath = (folder / "meter").string();
        std::atomic<int> reopened{0};
        options.onReopened = [&](Clock::time_point) { ++reopened; };
        MeterEmulator meter(options);
        meter.Start();
        EXPECT_EQ(std::filesystem::read_symlink(options.linkPath).string(), meter.SlavePath());
        Port port(options.linkPath);
        ASSERT_TRUE(port.Open());
        meter.Inject(ParseScript(gap ? "hangup reopen 600" : "hangup reopen"));
        bool hungUp = false;
        port.Read(1, 10s, &hungUp);
        EXPECT_TRUE(hungUp);
        const auto linkThere = [&] {
            return std::filesystem::exists(std::filesystem::symlink_status(options.linkPath));
        };
        auto deadline = Clock::now() + 10s;
        if (gap) {
            // While unplugged the port is not at its path at all.
            while (linkThere() && meter.Hangups() == 0 && Clock::now() < deadline)
                std::this_thread::sleep_for(1ms);
            EXPECT_FALSE(linkThere() && meter.Hangups() == 0) << "the link stayed during the gap";
        }
        deadline = Clock::now() + 10s;
        while (meter.Hangups() == 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        ASSERT_EQ(meter.Hangups(), 1);
        EXPECT_EQ(reopened, 1);
        EXPECT_EQ(std::filesystem::read_symlink(options.linkPath).string(), meter.SlavePath());
        Port again(options.linkPath);
        ASSERT_TRUE(again.Open());
        again.Send("Func?\r\n");
        EXPECT_EQ(again.Read(8, 10s), "\"VOLT\"\r\n");
        meter.Stop();
        EXPECT_FALSE(linkThere()) << "the link goes with the meter";
    }
    std::filesystem::remove_all(folder);
}

TEST(MeterEmulator, ProgramPrintsTheSlavePathAndAnswers) {
    const char* program = VELMORA_METER_PROGRAM;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    char* argv[] = {const_cast<char*>(program), const_cast<char*>("--baud"), const_cast<char*>("0"),
                    nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, program, &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);

    std::string path;
    char c = 0;
    while (::read(out[0], &c, 1) == 1 && c != '\n')
        path += c;
    ::close(out[0]);
    {
        Port port(path);
        ASSERT_TRUE(port.Open()) << path;
        port.Send("Func?\r\n");
        EXPECT_EQ(port.Read(8, 10s), "\"VOLT\"\r\n");
    }
    // The meter runs until told to stop, and then ends cleanly.
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
} // namespace velmora
