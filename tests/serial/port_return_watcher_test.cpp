// Watching for a port to come back: device events (fed through the seam) and the slow poll.
#include "serial/port_return_watcher.h"

#include "tests/serial/serial_test_support.h"

#include <QCoreApplication>

#include <cerrno>

#include <filesystem>
#include <linux/netlink.h>
#include <mutex>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

// Events of the test's own, with a descriptor that turns readable like udev's.
class FedEvents final : public DeviceEventSource {
public:
    FedEvents()
        : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
    ~FedEvents() override { ::close(fd_); }
    int Fd() const override { return fd_; }
    std::vector<DeviceEvent> Take() override {
        uint64_t count = 0;
        (void)::read(fd_, &count, sizeof count);
        std::lock_guard lock(mutex_);
        return std::exchange(events_, {});
    }
    void Feed(DeviceEvent event) {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(event));
        }
        const uint64_t one = 1;
        (void)::write(fd_, &one, sizeof one);
    }

private:
    int fd_;
    std::mutex mutex_;
    std::vector<DeviceEvent> events_;
};

class ReturnWatch : public ::testing::Test {
protected:
    ReturnWatch() {
        auto fed = std::make_unique<FedEvents>();
        events = fed.get();
        watcher = std::make_unique<PortReturnWatcher>(std::move(fed));
        watcher->onPresent = [this] { ++seen; };
        stable = devices.Path() + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    }
    void RunEventsFor(std::chrono::milliseconds time) {
        const auto end = std::chrono::steady_clock::now() + time;
        while (std::chrono::steady_clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    PseudoTerminal pty; // the adapter's device
    DeviceFolder devices;
    FedEvents* events = nullptr;
    std::unique_ptr<PortReturnWatcher> watcher;
    std::string stable; // its by-id link, made by udev's rules
    int seen = 0;
};

TEST_F(ReturnWatch, EventFindsThePortOnlyOnceItsLinkIsThere) {
    watcher->SetPollInterval(std::chrono::milliseconds(0)); // events only
    watcher->Watch(stable);
    EXPECT_EQ(seen, 0);
    // The device's event comes before its stable link exists: nothing yet.
    events->Feed({"add", pty.SlavePath(), {}});
    RunEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(seen, 0);
    fs::create_symlink(pty.SlavePath(), stable);
    RunEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(seen, 0) << "no event and no poll: nothing looked";
    events->Feed({"change", pty.SlavePath(), {stable}});
    ASSERT_TRUE(WaitUntil([&] { return seen >= 1; }));
    // A removal is no reason to look; and a stopped watch looks at nothing.
    const int before = seen;
    events->Feed({"remove", pty.SlavePath(), {}});
    RunEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(seen, before);
    watcher->Stop();
    events->Feed({"add", pty.SlavePath(), {stable}});
    RunEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(seen, before);
}

TEST_F(ReturnWatch, PollFindsAPortThatRaisesNoEvents) {
    watcher->Watch(stable);
    RunEventsFor(std::chrono::milliseconds(50));
    EXPECT_EQ(seen, 0);
    fs::create_symlink(pty.SlavePath(), stable);
    ASSERT_TRUE(WaitUntil([&] { return seen >= 1; })) << "the poll never looked";
}

TEST_F(ReturnWatch, OnlyACharacterDeviceCounts) {
    EXPECT_TRUE(PortReturnWatcher::DevicePresent(pty.SlavePath()));
    EXPECT_FALSE(PortReturnWatcher::DevicePresent(devices.File("plain", "x")));
    EXPECT_FALSE(PortReturnWatcher::DevicePresent(devices.Path()));
    EXPECT_FALSE(PortReturnWatcher::DevicePresent(devices.Link("dangling", "/nowhere/at/all")));
    EXPECT_FALSE(PortReturnWatcher::DevicePresent(""));
    // Already there: the watch finds it at once.
    watcher->Watch(pty.SlavePath());
    EXPECT_EQ(seen, 1);
}

TEST_F(ReturnWatch, OnlyABusyPortIsTriedAgain) {
    // A modem manager probing a new port holds it for a moment: busy is worth
    // another look, a refusal of any other kind is not.
    const std::pair<int, bool> rows[] = {
        {EBUSY, true}, {EAGAIN, true}, {EACCES, false}, {ENOENT, false}, {EIO, false}};
    for (const auto& [error, again] : rows) {
        watcher->Watch(stable);
        EXPECT_EQ(watcher->RetryAfterOpenError(error), again) << error;
        EXPECT_EQ(watcher->RetryAfterOpenError(error), again) << error << ", asked again at once";
    }
    // Busy for longer than the limit: given up, until the next watch.
    watcher->SetBusyRetry(std::chrono::milliseconds(50));
    watcher->Watch(stable);
    EXPECT_TRUE(watcher->RetryAfterOpenError(EBUSY));
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_FALSE(watcher->RetryAfterOpenError(EBUSY)) << "still busy after the limit";
    watcher->Watch(stable);
    EXPECT_TRUE(watcher->RetryAfterOpenError(EBUSY)) << "a new watch, a new limit";
    // No time at all for a busy port: not even the first look is retried.
    watcher->SetBusyRetry(std::chrono::milliseconds(0));
    watcher->Watch(stable);
    EXPECT_FALSE(watcher->RetryAfterOpenError(EBUSY)) << "a limit of 0 ms allows no retry";
    watcher->Stop();
}

// Whether this system lets a program listen for device events at all,
// asked of the kernel directly rather than of the code under test.
bool NetlinkEventsAllowed() {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_KOBJECT_UEVENT);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

TEST(UdevEvents, MonitorOpensWhereTheSystemHasNetlink) {
    if (!NetlinkEventsAllowed())
        GTEST_SKIP() << "no netlink socket for device events here";
    // Nothing can be plugged in here, but the monitor itself must come up
    // each time without leaking.
    for (int i = 0; i < 3; ++i) {
        auto source = OpenUdevSerialEvents();
        ASSERT_TRUE(source) << "netlink works, yet no monitor";
        EXPECT_GE(source->Fd(), 0);
        (void)source->Take(); // never blocks, whatever the system is doing
    }
}

} // namespace
} // namespace velmora::test
