// Receive thread body: a poll loop that implements the read timeouts itself.
#include "serial/read_thread.h"

#include "serial/comm_types.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

timespec ToTimespec(Clock::duration d) {
    if (d < Clock::duration::zero())
        d = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

// Removes NUL bytes in place; returns how many bytes remain.
size_t DropNulBytes(char* data, size_t count) {
    return static_cast<size_t>(std::remove(data, data + count, '\0') - data);
}

} // namespace

void TReadThread::Execute() {
    Clock::time_point readStart = Clock::now();

    for (;;) {
        const uint32_t interval = ctx_.runtime.readInterval;
        const uint32_t multiplier = ctx_.runtime.readMultiplier;
        const uint32_t constant = ctx_.runtime.readConstant;

        // The timeout combinations serial drivers have long understood:
        // MAXDWORD interval with zero totals returns what is there at once;
        // MAXDWORD interval and multiplier with a constant returns as soon
        // as any byte is there, or empty after the constant; otherwise the
        // interval limits the gap after a byte and the totals the whole read.
        const bool returnAtOnce = interval == MAXDWORD && multiplier == 0 && constant == 0;
        const bool returnOnAnyByte =
            interval == MAXDWORD && multiplier == MAXDWORD && constant > 0 && constant < MAXDWORD;
        const bool intervalActive = interval != 0 && interval != MAXDWORD;
        std::optional<Clock::time_point> totalDeadline;
        if (returnOnAnyByte) {
            totalDeadline = readStart + milliseconds(constant);
        } else if (!returnAtOnce && (multiplier != 0 || constant != 0)) {
            const uint64_t total = uint64_t{multiplier} * kBufferSize + constant;
            totalDeadline = readStart + milliseconds(total);
        }

        std::optional<Clock::time_point> wakeAt = totalDeadline;
        auto earliest = [&wakeAt](Clock::time_point t) {
            wakeAt = wakeAt ? std::min(*wakeAt, t) : t;
        };
        if (intervalActive && count_ > 0)
            earliest(lastByte_ + milliseconds(interval));
        if (returnAtOnce)
            earliest(Clock::now());

        pollfd fds[2] = {{ctx_.stopFd, POLLIN, 0}, {ctx_.portFd, POLLIN, 0}};
        timespec timeout{};
        if (wakeAt)
            timeout = ToTimespec(*wakeAt - Clock::now());
        const int ready = ctx_.io.Poll(fds, 2, wakeAt ? &timeout : nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            PostHangup();
            return;
        }
        // The stop signal wins over everything else: no partial chunk, no report.
        if (fds[0].revents != 0)
            return;

        Outcome outcome = Outcome::Continue;
        const short port = fds[1].revents;
        Clock::time_point now = Clock::now();
        if (port & POLLNVAL)
            outcome = Outcome::EndSilently;
        else if (port & POLLIN)
            outcome = ReadAvailable(now);
        else if (port & (POLLHUP | POLLERR))
            outcome = Outcome::Hangup;

        if (outcome == Outcome::Continue) {
            now = Clock::now();
            const bool complete =
                count_ == kBufferSize || returnAtOnce || (returnOnAnyByte && count_ > 0) ||
                (intervalActive && count_ > 0 && now >= lastByte_ + milliseconds(interval)) ||
                (ctx_.runtime.endReadAtLineFeed && count_ > 0 && buffer_[count_ - 1] == '\n') ||
                (totalDeadline && now >= *totalDeadline);
            if (complete) {
                if (count_ == 0)
                    return; // the read completed empty: the thread ends silently
                Deliver();
                readStart = now;
            }
        }

        switch (outcome) {
        case Outcome::Continue:
            break;
        case Outcome::EndSilently:
            return;
        case Outcome::Hangup:
            // The bytes that did arrive still reach the application first.
            if (count_ > 0)
                Deliver();
            PostHangup();
            return;
        }
    }
}

void TReadThread::Finish() noexcept {
    (void)ctx_.io.Flush(ctx_.portFd, FlushQueue::Input);
}

TReadThread::Outcome TReadThread::ReadAvailable(Clock::time_point now) {
    const ssize_t n = ctx_.io.Read(ctx_.portFd, buffer_ + count_, kBufferSize - count_);
    if (n > 0) {
        size_t kept = static_cast<size_t>(n);
        if (ctx_.runtime.ignoreNullChar)
            kept = DropNulBytes(buffer_ + count_, kept);
        // Discarded NUL bytes count as never received, also for the interval.
        if (kept > 0) {
            count_ += kept;
            lastByte_ = now;
        }
        return Outcome::Continue;
    }
    if (n == 0)
        return Outcome::Hangup; // end of file: the device went away
    switch (errno) {
    case EINTR:
    case EAGAIN:
        return Outcome::Continue;
    case EBADF:
        return Outcome::EndSilently;
    default: // EIO when a pty master or a USB adapter has gone
        return Outcome::Hangup;
    }
}

void TReadThread::Deliver() {
    // Zero-filled, so the byte after the data is 0.
    auto block = std::make_unique<char[]>(count_ + 1);
    std::memcpy(block.get(), buffer_, count_);
    const auto length = static_cast<uint32_t>(count_);
    count_ = 0;
    ctx_.notifier.Post(MSG_RX_DATA, length, 0, std::move(block));
}

} // namespace velmora
