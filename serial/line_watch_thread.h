// The line watcher: samples line errors and modem lines on a thread of its own.
#pragma once

#include "serial/comm_worker.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace velmora {

// Lets a thread post to the component's notifier until the component closes
// the gate; a post after that is dropped. The line watcher may still be inside
// an ioctl when the port is closed (a USB adapter can take seconds to answer)
// and may outlive the component, so it must never reach the notifier then.
class PostGate {
public:
    explicit PostGate(CommNotifier& notifier)
        : notifier_(notifier) {}
    // False when the gate is closed.
    bool Post(int message, uint32_t wParam = 0, uint32_t lParam = 0);
    void Close();

private:
    std::mutex mutex_;
    CommNotifier& notifier_;
    bool open_ = true;
};

// The pause before the next sample: the period after a good one; after a
// failure twice the last pause (at least the period), at most 5 s.
std::chrono::milliseconds NextSamplePause(std::chrono::milliseconds last, bool failed);

// Every 100 ms, reads the driver's counters of line errors and modem
// transitions (TIOCGICOUNT) and the modem lines (TIOCMGET), and posts what
// changed as MSG_RX_ERROR / MSG_MODEM_STATE. A driver without them (ENOTTY,
// EINVAL: a pseudo-terminal) is not asked again. Any other failure is not a
// hang-up (only the receive thread's reads decide that the device is gone):
// on a USB adapter each sample is a control transfer that may fail now and
// then, so the sample is retried after a growing pause (up to 5 s), and the
// first failure is logged. It never posts a hang-up and never waits for the
// receive thread; it ends at the stop event or when the descriptor is gone.
class TLineWatchThread : public CommWorker {
public:
    static constexpr std::chrono::milliseconds kPeriod{100};
    static constexpr std::chrono::milliseconds kLongestPause{5000};

    TLineWatchThread(const WorkerContext& context, std::shared_ptr<PostGate> gate);

protected:
    void Execute() override;

private:
    enum class Sample { Done, Unsupported, Failed, Gone };

    Sample SampleCounters(uint32_t& errors, uint32_t& modem);
    Sample SampleModemBits(uint32_t& modem);
    Sample Failure(const char* what);
    // Waits `pause` or until the stop event; false at the stop event.
    bool Wait(std::chrono::milliseconds pause);

    std::shared_ptr<PostGate> gate_;
    bool countersSupported_ = true;
    bool modemBitsSupported_ = true;
    bool haveCounters_ = false;
    bool haveModemBits_ = false;
    bool failureLogged_ = false;
    LineCounters lastCounters_;
    int lastModemBits_ = 0;
};

} // namespace velmora
