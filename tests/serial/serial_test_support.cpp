// Helpers shared by the serial tests.
#include "tests/serial/serial_test_support.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace velmora::test {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents();
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

void DeliverPosted() {
    QCoreApplication::sendPostedEvents();
}

DeviceFolder::DeviceFolder() {
    char pattern[] = "/tmp/velmora-serial-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

DeviceFolder::~DeviceFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string DeviceFolder::Link(const std::string& name, const std::string& target) const {
    const std::string link = path_ + "/" + name;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    return link;
}

std::string DeviceFolder::File(const std::string& name, const std::string& contents) const {
    const std::string file = path_ + "/" + name;
    std::ofstream(file) << contents;
    return file;
}

void EventRecord::Attach(TComm& comm) {
    comm.OnReceiveData = [this](TComm*, const char* buffer, uint16_t length) {
        chunks.emplace_back(buffer, length);
        zeroAfterChunk.push_back(buffer[length] == '\0');
        order.push_back("data");
    };
    comm.OnReceiveError = [this](TComm*, uint32_t mask) {
        errors.push_back(mask);
        order.push_back("error");
    };
    comm.OnModemStateChange = [this](TComm*, uint32_t event) {
        modemEvents.push_back(event);
        order.push_back("modem");
    };
    comm.OnRequestHangup = [this](TComm*) {
        ++hangups;
        order.push_back("hangup");
    };
    comm.OnSendDataEmpty = [this](TComm*) {
        ++empties;
        order.push_back("empty");
    };
}

std::string EventRecord::AllData() const {
    std::string all;
    for (const std::string& chunk : chunks)
        all += chunk;
    return all;
}

void Latch::Hold() {
    std::lock_guard lock(mutex_);
    held_ = true;
}

void Latch::Release() {
    {
        std::lock_guard lock(mutex_);
        held_ = false;
    }
    opened_.notify_all();
}

void Latch::Pass() {
    std::unique_lock lock(mutex_);
    ++waiting_;
    opened_.wait(lock, [this] { return !held_; });
    --waiting_;
}

FaultyIo::~FaultyIo() {
    // Nothing may stay held at a latch once the test is over.
    countersLatch.Release();
    portCloseLatch.Release();
}

void FaultyIo::ScriptCounters(std::vector<LineCounters> counters) {
    std::lock_guard lock(mutex_);
    counters_.assign(counters.begin(), counters.end());
}

void FaultyIo::ScriptModemBits(std::vector<int> bits) {
    std::lock_guard lock(mutex_);
    modemBits_.assign(bits.begin(), bits.end());
}

int FaultyIo::Open(const char* path, int flags) {
    const int fd = SystemPortIo::Open(path, flags);
    if (fd >= 0) {
        ++opens;
        writtenSinceOpen_ = false;
        portFd_ = fd;
    }
    return fd;
}

int FaultyIo::Close(int fd) {
    if (fd == portFd_) {
        closingWaitDroppedBeforeClose = dropClosingWaitCalls > 0;
        portCloseLatch.Pass();
        ++closes;
    }
    return SystemPortIo::Close(fd);
}

int FaultyIo::DropClosingWait(int fd) {
    ++dropClosingWaitCalls;
    if (const int error = dropClosingWaitErrno; error != 0) {
        errno = error;
        return -1;
    }
    return SystemPortIo::DropClosingWait(fd);
}

std::vector<FaultyIo::ModemRequest> FaultyIo::ModemRequests() {
    std::lock_guard lock(mutex_);
    return modemRequests_;
}

TermAttributes FaultyIo::LastWrittenSettings() {
    std::lock_guard lock(mutex_);
    return lastWritten_;
}

int FaultyIo::GetAttributes(int fd, TermAttributes* attributes) {
    if (failReadBack && writtenSinceOpen_) {
        errno = EIO;
        return -1;
    }
    return SystemPortIo::GetAttributes(fd, attributes);
}

int FaultyIo::SetAttributes(int fd, const TermAttributes* attributes) {
    ++setAttributesCalls;
    writtenSinceOpen_ = true;
    {
        std::lock_guard lock(mutex_);
        lastWritten_ = *attributes;
    }
    if (const int error = setAttributesErrno; error != 0) {
        errno = error;
        return -1;
    }
    if (const uint32_t refused = refusedSpeed; refused != 0 && attributes->ospeed == refused) {
        errno = EINVAL;
        return -1;
    }
    if (const uint32_t asked = substitutedSpeed; asked != 0 && attributes->ospeed == asked) {
        TermAttributes rounded = *attributes;
        rounded.ispeed = rounded.ospeed = substituteSpeed;
        return SystemPortIo::SetAttributes(fd, &rounded);
    }
    return SystemPortIo::SetAttributes(fd, attributes);
}

int FaultyIo::Flush(int fd, FlushQueue queue) {
    if (queue == FlushQueue::Input)
        ++inputFlushes;
    return SystemPortIo::Flush(fd, queue);
}

int FaultyIo::ModemBits(int fd, int* bits) {
    {
        std::lock_guard lock(mutex_);
        if (!modemBits_.empty()) {
            *bits = modemBits_.front();
            if (modemBits_.size() > 1)
                modemBits_.pop_front();
            return 0;
        }
    }
    return SystemPortIo::ModemBits(fd, bits);
}

int FaultyIo::SetModemBits(int fd, int bits) {
    {
        std::lock_guard lock(mutex_);
        modemRequests_.push_back({true, bits});
    }
    return SystemPortIo::SetModemBits(fd, bits);
}

int FaultyIo::ClearModemBits(int fd, int bits) {
    {
        std::lock_guard lock(mutex_);
        modemRequests_.push_back({false, bits});
    }
    return SystemPortIo::ClearModemBits(fd, bits);
}

int FaultyIo::Counters(int fd, LineCounters* counters) {
    ++countersCalls;
    countersLatch.Pass();
    if (const int error = countersErrno; error != 0) {
        errno = error;
        return -1;
    }
    if (countersFailuresLeft > 0) {
        --countersFailuresLeft;
        errno = EIO;
        return -1;
    }
    {
        std::lock_guard lock(mutex_);
        if (!counters_.empty()) {
            *counters = counters_.front();
            if (counters_.size() > 1)
                counters_.pop_front();
            return 0;
        }
    }
    return SystemPortIo::Counters(fd, counters);
}

ssize_t FaultyIo::Read(int fd, void* buffer, size_t count) {
    if (readFaults_ > 0) {
        --readFaults_;
        errno = readErrno_;
        return -1;
    }
    const ssize_t n = SystemPortIo::Read(fd, buffer, count);
    if (n > 0)
        bytesRead += static_cast<size_t>(n);
    return n;
}

ssize_t FaultyIo::Write(int fd, const void* data, size_t count) {
    if (fd == portFd_)
        ++portWrites;
    if (fd == portFd_ && writeFaults_ > 0) {
        --writeFaults_;
        errno = writeErrno_;
        return -1;
    }
    if (const size_t limit = writeLimit; limit != 0 && count > limit)
        count = limit;
    return SystemPortIo::Write(fd, data, count);
}

int FaultyIo::Poll(pollfd* fds, nfds_t count, const timespec* timeout) {
    if (count == 2 && fds[1].fd == portFd_ && fds[1].events == POLLIN)
        bytesReadAtReceiveWait = bytesRead.load();
    return SystemPortIo::Poll(fds, count, timeout);
}

int FaultyIo::CreateEvent() {
    if (failCreateEvent) {
        errno = EMFILE;
        return -1;
    }
    return SystemPortIo::CreateEvent();
}

PtyCommTest::PtyCommTest()
    : comm(std::make_unique<TComm>(nullptr, &io)) {
    devices.Link("ttyS0", pty.SlavePath());
    comm->SetDeviceFolder(devices.Path());
    comm->SetCommName("COM1");
    comm->SetReadIntervalTimeout(26);
    events.Attach(*comm);
}

void PtyCommTest::OpenAndSettle() {
    comm->OpenPort();
    ASSERT_TRUE(WaitUntil([this] { return events.empties >= 1; }));
}

void PtyCommTest::HoldLine() {
    const size_t before = events.AllData().size();
    ASSERT_TRUE(pty.Write("\x13M"));
    ASSERT_TRUE(WaitUntil([&] { return events.AllData().size() > before; }));
    ASSERT_EQ(events.AllData().substr(before), "M") << "XOFF must not reach the application";
}

} // namespace velmora::test
