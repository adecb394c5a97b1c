// The receive thread: cuts the incoming byte stream into chunks.
#pragma once

#include "serial/comm_worker.h"

#include <chrono>
#include <cstddef>

namespace velmora {

// A chunk ends when 2048 bytes have arrived, or when at least one byte has
// arrived and then the read interval passes without another; the read
// total timeouts may end it earlier. A read that ends with no byte at all
// (only possible with total timeouts) ends the thread silently. Each chunk
// goes to the main thread as MSG_RX_DATA with a zero byte after the data.
// Only this thread's reads and polls decide that the device is gone: a
// vanished device (POLLHUP, POLLERR, EIO, ENXIO, ENODEV, end of file) ends
// the thread with MSG_HANGUP_REQUEST after delivering what it had; a
// descriptor that went invalid ends it silently; the stop event ends it
// without delivering a partial chunk.
class TReadThread : public CommWorker {
public:
    static constexpr size_t kBufferSize = 2048;

    using CommWorker::CommWorker;

protected:
    void Execute() override;
    void Finish() noexcept override;

private:
    using Clock = std::chrono::steady_clock;
    enum class Outcome { Continue, EndSilently, Hangup };

    Outcome ReadAvailable(Clock::time_point now);
    void Deliver();

    char buffer_[kBufferSize];
    size_t count_ = 0;
    Clock::time_point lastByte_;
};

} // namespace velmora
