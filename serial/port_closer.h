// The port closer: the final close of a port, which may block, off the caller's thread.
#pragma once

#include "serial/port_io.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace velmora {

class CommWorker;

// close() of a serial port waits until the driver has sent what it holds, up
// to the port's closing wait (30 s by default). With XOFF holding the line
// a USB adapter keeps its bytes, and an ordinary user cannot shorten that
// wait, so the close itself is handed to one process-wide thread and the
// caller returns at once. A job may also carry a worker that is still in a
// call that cannot be interrupted; it is joined before the descriptors go.
class PortCloser {
public:
    struct Job {
        PortIo* io = nullptr;
        const void* owner = nullptr; // the component, so that it can wait for its own
        std::string device;          // what a reopen must wait for (the real device path)
        int portFd = -1;
        int stopFd = -1;
        std::unique_ptr<CommWorker> worker; // joined first; may be null
    };

    static PortCloser& Instance();
    ~PortCloser(); // finishes every job

    // Queues the job; returns at once.
    void Close(Job job);
    // True once no close of `device` is pending; false if one still is after `bound`.
    bool WaitForDevice(const std::string& device, std::chrono::milliseconds bound);
    // Returns when every job of `owner` is done.
    void WaitForOwner(const void* owner);

private:
    PortCloser();
    void Run();
    bool Pending(const std::function<bool(const Job&)>& match) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_; // waiting; the one being done stays first until done
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace velmora
