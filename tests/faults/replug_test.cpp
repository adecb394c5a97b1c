// Unplug and replug: the meter's port goes away and comes back at its path, over and over, while
// the component is in use; each time the port is noticed back, reopened and answers again.
#include "serial/comm.h"
#include "serial/port_closer.h"
#include "serial/port_return_watcher.h"
#include "tests/faults/fault_test_support.h"
#include "tools/meter/meter_emulator.h"
#include "tools/meter/meter_script.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace velmora::test {
namespace {

template <typename Done>
bool HandleEventsUntil(int milliseconds, Done done) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

TEST(Replug, EveryReturnIsNoticedAndTheMeterAnswersAgain) {
    const int64_t cycles = SoakSetting("VELMORA_REPLUG_CYCLES", 10, 100);
    const std::string folder =
        (std::filesystem::temp_directory_path() / ("velmora-replug-" + std::to_string(::getpid())))
            .string();
    std::filesystem::create_directories(folder);
    MeterOptions options;
    options.linkPath = folder + "/meter";
    MeterEmulator meter(options);
    meter.Start();

    TComm comm;
    comm.SetCommName(options.linkPath);
    comm.SetReadIntervalTimeout(5);
    std::string received;
    int hangups = 0;
    comm.OnReceiveData = [&](TComm*, const char* buffer, uint16_t length) {
        received.append(buffer, length);
    };
    PortReturnWatcher watcher(OpenUdevSerialEvents());
    watcher.SetPollInterval(std::chrono::milliseconds(50));
    int reopened = 0;
    watcher.onPresent = [&] {
        try {
            comm.OpenPort();
        } catch (const ECommsError& error) {
            ASSERT_EQ(error.systemError(), EBUSY) << error.message();
            return; // looked at again at the next poll
        }
        watcher.Stop();
        ++reopened;
    };
    comm.OnRequestHangup = [&](TComm*) {
        ++hangups;
        comm.ClosePort();
        watcher.Watch(options.linkPath);
    };
    const auto answers = [&] {
        received.clear();
        return comm.SendData("Func?\r\n", 7) &&
               HandleEventsUntil(10000, [&] { return received.find("\r\n") != std::string::npos; });
    };

    // One round first, so that whatever the process sets up once is there
    // before counting (the closer's thread, the watcher's monitor).
    comm.OpenPort();
    ASSERT_TRUE(answers());
    const ProcessFigures before = SampleProcess();

    for (int64_t cycle = 1; cycle <= cycles; ++cycle) {
        SCOPED_TRACE(cycle);
        meter.Inject(ParseScript("hangup reopen " + std::to_string(cycle % 3 * 20)));
        ASSERT_TRUE(HandleEventsUntil(20000, [&] { return reopened == cycle; }))
            << "the port's return was not noticed";
        EXPECT_EQ(hangups, cycle);
        ASSERT_TRUE(answers()) << "no answer after the port came back";
        // A watcher made and gone leaves nothing behind either.
        { PortReturnWatcher passing(OpenUdevSerialEvents()); }
    }
    comm.ClosePort();
    PortCloser::Instance().WaitForOwner(&comm);
    comm.OpenPort();
    ASSERT_TRUE(answers());
    const ProcessFigures after = SampleProcess();
    std::printf("replug: %lld cycles\nreplug: before %s\nreplug: after  %s\n",
                static_cast<long long>(cycles), Describe(before).c_str(), Describe(after).c_str());
    EXPECT_EQ(after.descriptors, before.descriptors) << "a descriptor leaked";
    EXPECT_EQ(after.threads, before.threads) << "a thread outlived its port";
    comm.ClosePort();
    meter.Stop();
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace velmora::test
