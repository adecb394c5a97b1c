// Helpers shared by the serial tests: event-loop waits, a folder of port links, an event recorder,
// a faulty seam.
#pragma once

#include "serial/comm.h"
#include "serial/port_io.h"
#include "tools/meter/pseudo_terminal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velmora::test {

using namespace std::chrono_literals;

// Exceptions that left an event handler, as the application's notify() saw them.
std::vector<std::string>& CaughtExceptions();

// Runs the event loop until `condition` holds; false after `timeout`
// (only a guard against hanging: nothing asserts on elapsed time).
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);
// Delivers every notification already posted.
void DeliverPosted();

// A temporary folder that stands in for /dev: links named like serial
// devices point at pseudo-terminal slaves.
class DeviceFolder {
public:
    DeviceFolder();
    ~DeviceFolder();
    const std::string& Path() const { return path_; }
    std::string Link(const std::string& name, const std::string& target) const;
    std::string File(const std::string& name, const std::string& contents) const;

private:
    std::string path_;
};

// Everything a component raised, in order.
struct EventRecord {
    std::vector<std::string> chunks;
    std::vector<bool> zeroAfterChunk;
    std::vector<uint32_t> errors;
    std::vector<uint32_t> modemEvents;
    std::vector<std::string> order; // "data", "error", "modem", "hangup", "empty"
    int hangups = 0;
    int empties = 0;

    void Attach(TComm& comm);
    std::string AllData() const;
};

// A gate a seam call can be held at until the test opens it.
class Latch {
public:
    void Hold();    // from now on, Pass() waits
    void Release(); // lets every waiting and later Pass() through
    void Pass();    // waits while held
    bool Waiting() const { return waiting_ > 0; }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool held_ = false;
    std::atomic<int> waiting_{0};
};

// The real system calls with faults to inject and calls to count. Every
// member may be used from the test and the workers at once.
class FaultyIo : public SystemPortIo {
public:
    ~FaultyIo() override;
    // The next `count` reads (writes) fail with `error`.
    void FailReads(int error, int count) { readErrno_ = error, readFaults_ = count; }
    void FailWrites(int error, int count) { writeErrno_ = error, writeFaults_ = count; }
    std::atomic<size_t> writeLimit{0}; // at most this many bytes per write (0 = any)
    std::atomic<int> setAttributesErrno{0};
    // A record asking for this speed is refused with EINVAL, as a driver does.
    std::atomic<uint32_t> refusedSpeed{0};
    // A record asking for `substitutedSpeed` is written with `substituteSpeed`
    // instead and succeeds, as a driver that rounds to a rate it can make does.
    std::atomic<uint32_t> substitutedSpeed{0};
    std::atomic<uint32_t> substituteSpeed{0};
    std::atomic<bool> failCreateEvent{false};
    // Once a record has been written to a newly opened port, reading one
    // back fails with EIO, as on an adapter that went away between the two.
    std::atomic<bool> failReadBack{false};
    // Line-counter and modem-bit results handed out one per sample; the
    // last one repeats. Without any the real ioctl answers (ENOTTY on a pty).
    void ScriptCounters(std::vector<LineCounters> counters);
    void ScriptModemBits(std::vector<int> bits);
    std::atomic<int> countersErrno{0};        // when set, every sample fails with it
    std::atomic<int> countersFailuresLeft{0}; // the next samples fail with EIO, then succeed
    Latch countersLatch;  // a sample waits here, as a slow USB control transfer would
    Latch portCloseLatch; // the port's close waits here, as a driver draining a held line
    std::atomic<int> dropClosingWaitErrno{0}; // EPERM: as for a user without CAP_SYS_ADMIN
    std::atomic<int> dropClosingWaitCalls{0};
    // Set when the port's descriptor was closed: DropClosingWait came first.
    std::atomic<bool> closingWaitDroppedBeforeClose{false};

    // A request to raise (set) or drop modem lines, as the component made it.
    struct ModemRequest {
        bool raise;
        int bits;
        bool operator==(const ModemRequest&) const = default;
    };
    std::vector<ModemRequest> ModemRequests();
    // The last line-settings record the component wrote, and how many it wrote.
    TermAttributes LastWrittenSettings();

    std::atomic<int> opens{0};
    std::atomic<int> closes{0};
    std::atomic<int> setAttributesCalls{0};
    std::atomic<int> portWrites{0}; // write calls on the port, refused ones too
    std::atomic<int> countersCalls{0};
    std::atomic<int> inputFlushes{0};
    std::atomic<size_t> bytesRead{0};
    // bytesRead as the receive thread last began to wait for the port.
    std::atomic<size_t> bytesReadAtReceiveWait{0};

    int Open(const char* path, int flags) override;
    int Close(int fd) override;
    int GetAttributes(int fd, TermAttributes* attributes) override;
    int SetAttributes(int fd, const TermAttributes* attributes) override;
    int Flush(int fd, FlushQueue queue) override;
    int ModemBits(int fd, int* bits) override;
    int SetModemBits(int fd, int bits) override;
    int ClearModemBits(int fd, int bits) override;
    int Counters(int fd, LineCounters* counters) override;
    int DropClosingWait(int fd) override;
    ssize_t Read(int fd, void* buffer, size_t count) override;
    ssize_t Write(int fd, const void* data, size_t count) override;
    int Poll(pollfd* fds, nfds_t count, const timespec* timeout) override;
    int CreateEvent() override;

private:
    std::atomic<int> portFd_{-1};
    std::atomic<bool> writtenSinceOpen_{false};
    std::atomic<int> readErrno_{0};
    std::atomic<int> readFaults_{0};
    std::atomic<int> writeErrno_{0};
    std::atomic<int> writeFaults_{0};
    std::mutex mutex_;
    std::deque<LineCounters> counters_;
    std::deque<int> modemBits_;
    std::vector<ModemRequest> modemRequests_;
    TermAttributes lastWritten_;
};

// A component on a pseudo-terminal reached as "COM1" through a device
// folder of its own, with its events recorded; its seam counts calls and
// injects nothing until told to.
class PtyCommTest : public ::testing::Test {
protected:
    PtyCommTest();
    void OpenAndSettle(); // opens and waits for the transmit thread's first notice
    // Makes the slave stop sending (XOFF) and waits until the component's
    // line discipline has seen it: a marker byte after it has come through.
    void HoldLine();

    FaultyIo io;
    PseudoTerminal pty;
    DeviceFolder devices;
    std::unique_ptr<TComm> comm;
    EventRecord events;
};

} // namespace velmora::test
