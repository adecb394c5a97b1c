// Line watcher body: periodic samples of the driver's counters and modem lines.
#include "serial/line_watch_thread.h"

#include "serial/comm_types.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>

namespace velmora {

bool PostGate::Post(int message, uint32_t wParam, uint32_t lParam) {
    std::lock_guard lock(mutex_);
    if (!open_)
        return false;
    notifier_.Post(message, wParam, lParam);
    return true;
}

void PostGate::Close() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

TLineWatchThread::TLineWatchThread(const WorkerContext& context, std::shared_ptr<PostGate> gate)
    : CommWorker(context)
    , gate_(std::move(gate)) {}

bool TLineWatchThread::Wait(std::chrono::milliseconds pause) {
    pollfd stop{ctx_.stopFd, POLLIN, 0};
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(pause).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000),
                           static_cast<long>(ns % 1000000000)};
    for (;;) {
        const int ready = ctx_.io.Poll(&stop, 1, &timeout);
        if (ready < 0 && errno == EINTR)
            continue;
        return !(ready > 0 && (stop.revents & POLLIN));
    }
}

TLineWatchThread::Sample TLineWatchThread::Failure(const char* what) {
    switch (errno) {
    case ENOTTY:
    case EINVAL:
        return Sample::Unsupported;
    case EBADF:
        return Sample::Gone;
    default:
        if (!failureLogged_) {
            failureLogged_ = true;
            qCWarning(lcSerial, "serial: reading the %s failed (%s); trying again later", what,
                      std::strerror(errno));
        }
        return Sample::Failed;
    }
}

TLineWatchThread::Sample TLineWatchThread::SampleCounters(uint32_t& errors, uint32_t& modem) {
    LineCounters now;
    if (ctx_.io.Counters(ctx_.portFd, &now) < 0)
        return Failure("line error counters");
    if (haveCounters_) {
        const LineCounters& was = lastCounters_;
        if (now.bufOverrun != was.bufOverrun)
            errors |= CE_RXOVER;
        if (now.overrun != was.overrun)
            errors |= CE_OVERRUN;
        if (now.parity != was.parity)
            errors |= CE_RXPARITY;
        if (now.frame != was.frame)
            errors |= CE_FRAME;
        if (now.brk != was.brk)
            errors |= CE_BREAK;
        if (now.dcd != was.dcd)
            modem |= MODEM_CARRIER_DETECT;
        if (now.rng != was.rng)
            modem |= MODEM_RING;
    }
    lastCounters_ = now;
    haveCounters_ = true;
    return Sample::Done;
}

TLineWatchThread::Sample TLineWatchThread::SampleModemBits(uint32_t& modem) {
    int bits = 0;
    if (ctx_.io.ModemBits(ctx_.portFd, &bits) < 0)
        return Failure("modem lines");
    // Drivers that do not count transitions still show the lines.
    if (haveModemBits_) {
        if ((bits ^ lastModemBits_) & TIOCM_CD)
            modem |= MODEM_CARRIER_DETECT;
        if (bits & ~lastModemBits_ & TIOCM_RI)
            modem |= MODEM_RING;
    }
    lastModemBits_ = bits;
    haveModemBits_ = true;
    return Sample::Done;
}

std::chrono::milliseconds NextSamplePause(std::chrono::milliseconds last, bool failed) {
    using Watch = TLineWatchThread;
    // After a failure the next try waits twice as long as the last one.
    return failed ? std::min(std::max(last, Watch::kPeriod) * 2, Watch::kLongestPause)
                  : Watch::kPeriod;
}

void TLineWatchThread::Execute() {
    // The first round takes the baseline at once.
    std::chrono::milliseconds pause{0};
    while ((countersSupported_ || modemBitsSupported_) && Wait(pause)) {
        uint32_t errors = 0;
        uint32_t modem = 0;
        bool failed = false;
        const auto record = [&](Sample sample, bool& supported) {
            if (sample == Sample::Unsupported)
                supported = false;
            failed = failed || sample == Sample::Failed;
            return sample != Sample::Gone;
        };
        if (countersSupported_ && !record(SampleCounters(errors, modem), countersSupported_))
            return;
        if (modemBitsSupported_ && !record(SampleModemBits(modem), modemBitsSupported_))
            return;
        if (errors != 0)
            gate_->Post(MSG_RX_ERROR, 0, errors);
        if (modem != 0)
            gate_->Post(MSG_MODEM_STATE, 0, modem);
        pause = NextSamplePause(pause, failed);
    }
}

} // namespace velmora
