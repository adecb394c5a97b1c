// Thread frame shared by the receive and transmit threads.
#include "serial/comm_worker.h"

#include "serial/comm_types.h"

#include <QLoggingCategory>
#include <QtGlobal>

#include <atomic>
#include <cstring>

#include <cerrno>
#include <sys/resource.h>
#include <unistd.h>

namespace velmora {

Q_LOGGING_CATEGORY(lcSerial, "velmora.serial")

CommWorker::CommWorker(const WorkerContext& context)
    : ctx_(context) {}

CommWorker::~CommWorker() {
    if (thread_.joinable())
        thread_.join();
}

void CommWorker::Start(int boost) {
    thread_ = std::thread(&CommWorker::Run, this, boost);
}

bool CommWorker::Join(std::chrono::milliseconds bound) {
    if (!thread_.joinable())
        return true;
    bool inTime = true;
    {
        std::unique_lock lock(mutex_);
        if (!endedCondition_.wait_for(lock, bound, [this] { return ended_; })) {
            inTime = false;
        }
    }
    if (!inTime)
        qWarning("serial: a worker thread did not stop in time; still waiting for it");
    thread_.join();
    return inTime;
}

bool CommWorker::StopSignalled() {
    pollfd stop{ctx_.stopFd, POLLIN, 0};
    const timespec immediately{0, 0};
    return ctx_.io.Poll(&stop, 1, &immediately) > 0 && (stop.revents & POLLIN);
}

void CommWorker::PostHangup() noexcept {
    try {
        ctx_.notifier.Post(MSG_HANGUP_REQUEST, ctx_.opening);
    } catch (...) {
        // Nothing is left to report with; the thread ends regardless.
    }
}

namespace {

// An ordinary user may not raise priorities (no CAP_SYS_NICE, or a zero
// RLIMIT_NICE): the program works on at normal priority, and says so once.
void RaisePriority(int boost) {
    static std::atomic<bool> refusalLogged{false};
    const pid_t tid = gettid();
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0 || setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice - boost) == 0)
        return;
    const int error = errno;
    if (!refusalLogged.exchange(true))
        qCInfo(lcSerial, "serial: the serial threads run at normal priority (%s)",
               std::strerror(error));
}

} // namespace

void CommWorker::Run(int boost) noexcept {
    RaisePriority(boost);

    try {
        Execute();
    } catch (...) {
        PostHangup();
    }
    Finish();

    std::lock_guard lock(mutex_);
    ended_ = true;
    endedCondition_.notify_all();
}

} // namespace velmora
