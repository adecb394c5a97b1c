// The transmit thread's request queue: ordered byte blocks plus an eventfd that wakes the thread.
#pragma once

#include "serial/port_io.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace velmora {

// Exists before the transmit thread starts, so a request queued right after
// OpenPort is never refused. The queue also keeps SendQueueEmpty in step
// with its contents: both change under the same lock.
class WriteQueue {
public:
    struct Request {
        std::unique_ptr<char[]> block; // the bytes and one zero byte
        uint16_t length = 0;
    };

    // Takes ownership of `wakeFd` (an eventfd) and closes it through `io`.
    WriteQueue(PortIo& io, int wakeFd, std::atomic<bool>& sendQueueEmpty);
    ~WriteQueue();
    WriteQueue(const WriteQueue&) = delete;
    WriteQueue& operator=(const WriteQueue&) = delete;

    // Queues a request and clears SendQueueEmpty; false once the queue is
    // closed (the transmit thread has ended).
    bool Push(std::unique_ptr<char[]> block, uint16_t length);

    // The oldest request, or none, in which case SendQueueEmpty is set.
    std::optional<Request> Take();

    // Drops every request and refuses new ones.
    void Close();

    int WakeFd() const { return wakeFd_; }
    void ClearWake(); // resets the eventfd counter

private:
    PortIo& io_;
    const int wakeFd_;
    std::atomic<bool>& sendQueueEmpty_;
    std::mutex mutex_;
    std::deque<Request> requests_;
    bool closed_ = false;
};

} // namespace velmora
