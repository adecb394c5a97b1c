// The receive thread: cuts the incoming byte stream into chunks and watches line errors and modem
// events.
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
// Line errors and carrier/ring changes are sampled every 100 ms while the
// driver supports it (a pseudo-terminal does not) and posted as
// MSG_RX_ERROR / MSG_MODEM_STATE. A vanished device (hang-up, EIO) ends
// the thread with MSG_HANGUP_REQUEST after delivering what it had; a
// descriptor that went invalid ends it silently; the stop event ends it
// without delivering a partial chunk.
class TReadThread : public CommWorker {
public:
    static constexpr size_t kBufferSize = 2048;
    static constexpr std::chrono::milliseconds kLineCheckPeriod{100};

    using CommWorker::CommWorker;

protected:
    void Execute() override;
    void Finish() noexcept override;

private:
    using Clock = std::chrono::steady_clock;
    enum class Outcome { Continue, EndSilently, Hangup };

    Outcome ReadAvailable(Clock::time_point now);
    Outcome CheckLine();
    Outcome ProbeFailure(bool& supported);
    void Deliver();

    char buffer_[kBufferSize];
    size_t count_ = 0;
    Clock::time_point lastByte_;

    bool countersSupported_ = true;
    bool modemBitsSupported_ = true;
    bool haveCounters_ = false;
    bool haveModemBits_ = false;
    LineCounters lastCounters_;
    int lastModemBits_ = 0;
};

} // namespace velmora
