// Request queue between SendData and the transmit thread.
#include "serial/write_queue.h"

#include <cstdint>
#include <unistd.h>

namespace velmora {

WriteQueue::WriteQueue(PortIo& io, int wakeFd, std::atomic<bool>& sendQueueEmpty)
    : io_(io)
    , wakeFd_(wakeFd)
    , sendQueueEmpty_(sendQueueEmpty) {}

WriteQueue::~WriteQueue() {
    (void)io_.Close(wakeFd_);
}

bool WriteQueue::Push(std::unique_ptr<char[]> block, uint16_t length) {
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return false;
        requests_.push_back(Request{std::move(block), length});
        sendQueueEmpty_ = false;
    }
    // An eventfd counter cannot overflow from single increments in practice;
    // and a thread that is not waiting looks at the queue again anyway.
    const uint64_t one = 1;
    (void)::write(wakeFd_, &one, sizeof one);
    return true;
}

std::optional<WriteQueue::Request> WriteQueue::Take() {
    std::lock_guard lock(mutex_);
    if (requests_.empty()) {
        sendQueueEmpty_ = true;
        return std::nullopt;
    }
    Request request = std::move(requests_.front());
    requests_.pop_front();
    return request;
}

void WriteQueue::Close() {
    std::deque<Request> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(requests_);
        sendQueueEmpty_ = true;
    }
}

void WriteQueue::ClearWake() {
    uint64_t count = 0;
    (void)::read(wakeFd_, &count, sizeof count);
}

} // namespace velmora
