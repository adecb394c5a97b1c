// The transmit thread: writes queued requests one after the other, each completely.
#pragma once

#include "serial/comm_worker.h"
#include "serial/write_queue.h"

#include <atomic>
#include <cstddef>

namespace velmora {

// Writes are non-blocking; while the line is held (XOFF from the peer, CTS
// low) the thread waits in poll() for room or the stop event, so closing
// the port abandons a held write at once. OnSendDataEmpty is due once
// after start and then once after each burst of written requests. On the
// stop event or a failure the thread flushes the output queue, sets
// SendQueueEmpty, discards all queued requests and closes the queue.
class TWriteThread : public CommWorker {
public:
    TWriteThread(const WorkerContext& context, WriteQueue& queue,
                 std::atomic<bool>& sendQueueEmpty);

protected:
    void Execute() override;
    void Finish() noexcept override;

private:
    enum class Wait { Ready, Stop, TimedOut, Invalid, Failed };

    bool WriteAll(const char* data, size_t length);
    Wait WaitForWork();
    Wait WaitWritable(const timespec* timeout);

    WriteQueue& queue_;
    std::atomic<bool>& sendQueueEmpty_;
};

} // namespace velmora
