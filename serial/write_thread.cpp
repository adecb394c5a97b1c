// Transmit thread body.
#include "serial/write_thread.h"

#include "serial/comm_types.h"

#include <cerrno>
#include <chrono>
#include <optional>

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;

timespec Remaining(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left < Clock::duration::zero())
        left = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

} // namespace

TWriteThread::TWriteThread(const WorkerContext& context, WriteQueue& queue,
                           std::atomic<bool>& sendQueueEmpty)
    : CommWorker(context)
    , queue_(queue)
    , sendQueueEmpty_(sendQueueEmpty) {}

void TWriteThread::Execute() {
    bool emptyNoticeDue = true;
    for (;;) {
        std::optional<WriteQueue::Request> request = queue_.Take();
        if (!request) {
            if (emptyNoticeDue) {
                ctx_.notifier.Post(MSG_TX_EMPTY);
                emptyNoticeDue = false;
            }
            switch (WaitForWork()) {
            case Wait::Ready:
                continue;
            case Wait::Stop:
            case Wait::Invalid:
                return;
            case Wait::TimedOut:
            case Wait::Failed:
                PostHangup();
                return;
            }
        }
        // A request taken after the stop signal is dropped unsent.
        if (StopSignalled())
            return;
        if (!WriteAll(request->block.get(), request->length))
            return;
        emptyNoticeDue = true;
    }
}

void TWriteThread::Finish() noexcept {
    (void)ctx_.io.Flush(ctx_.portFd, FlushQueue::Output);
    sendQueueEmpty_ = true;
    queue_.Close();
}

bool TWriteThread::WriteAll(const char* data, size_t length) {
    size_t offset = 0;
    while (offset < length) {
        // One write call: it may end short when its total timeout passes,
        // and then the rest goes out in the next one.
        const uint32_t multiplier = ctx_.runtime.writeMultiplier;
        const uint32_t constant = ctx_.runtime.writeConstant;
        std::optional<Clock::time_point> deadline;
        if (multiplier != 0 || constant != 0) {
            const uint64_t total = uint64_t{multiplier} * (length - offset) + constant;
            deadline = Clock::now() + std::chrono::milliseconds(total);
        }

        bool callEnded = false;
        while (!callEnded && offset < length) {
            const ssize_t n = ctx_.io.Write(ctx_.portFd, data + offset, length - offset);
            if (n > 0) {
                offset += static_cast<size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EBADF)
                return false; // the port is going away: end silently
            if (n < 0 && errno != EAGAIN) {
                PostHangup();
                return false;
            }
            // The line is held or the driver queue is full.
            timespec timeout{};
            if (deadline)
                timeout = Remaining(*deadline);
            switch (WaitWritable(deadline ? &timeout : nullptr)) {
            case Wait::Ready:
                break; // a hang-up also lands here; the next write says why
            case Wait::TimedOut:
                callEnded = true;
                break;
            case Wait::Stop:
                (void)ctx_.io.Flush(ctx_.portFd, FlushQueue::Output);
                return false;
            case Wait::Invalid:
                return false;
            case Wait::Failed:
                PostHangup();
                return false;
            }
        }
    }
    return true;
}

TWriteThread::Wait TWriteThread::WaitForWork() {
    for (;;) {
        pollfd fds[2] = {{ctx_.stopFd, POLLIN, 0}, {queue_.WakeFd(), POLLIN, 0}};
        const int ready = ctx_.io.Poll(fds, 2, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (fds[0].revents != 0)
            return Wait::Stop;
        if (fds[1].revents & POLLNVAL)
            return Wait::Failed;
        if (fds[1].revents & POLLIN) {
            queue_.ClearWake();
            return Wait::Ready;
        }
    }
}

TWriteThread::Wait TWriteThread::WaitWritable(const timespec* timeout) {
    for (;;) {
        pollfd fds[2] = {{ctx_.stopFd, POLLIN, 0}, {ctx_.portFd, POLLOUT, 0}};
        const int ready = ctx_.io.Poll(fds, 2, timeout);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return Wait::Failed;
        }
        if (fds[0].revents != 0)
            return Wait::Stop;
        if (ready == 0)
            return Wait::TimedOut;
        if (fds[1].revents & POLLNVAL)
            return Wait::Invalid;
        return Wait::Ready;
    }
}

} // namespace velmora
