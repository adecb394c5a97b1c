// The port closer's thread.
#include "serial/port_closer.h"

#include "serial/comm_worker.h"

namespace velmora {

namespace {

// A worker that takes longer than this to end is reported (and waited for).
constexpr std::chrono::milliseconds kWorkerWarnAfter{10000};

} // namespace

PortCloser& PortCloser::Instance() {
    static PortCloser closer;
    return closer;
}

PortCloser::PortCloser()
    : thread_(&PortCloser::Run, this) {}

PortCloser::~PortCloser() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PortCloser::Close(Job job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

bool PortCloser::Pending(const std::function<bool(const Job&)>& match) const {
    for (const Job& job : jobs_)
        if (match(job))
            return true;
    return false;
}

bool PortCloser::WaitForDevice(const std::string& device, std::chrono::milliseconds bound) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, bound, [&] {
        return !Pending([&](const Job& job) { return job.device == device; });
    });
}

void PortCloser::WaitForOwner(const void* owner) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock,
                  [&] { return !Pending([&](const Job& job) { return job.owner == owner; }); });
}

void PortCloser::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return; // stopping, and nothing left to close
        Job& job = jobs_.front();
        lock.unlock();
        // Joined through the worker frame before it is destroyed: its thread
        // must have left the worker's own code first.
        if (job.worker) {
            (void)job.worker->Join(kWorkerWarnAfter);
            job.worker.reset();
        }
        if (job.portFd >= 0)
            (void)job.io->Close(job.portFd); // may wait for the driver
        if (job.stopFd >= 0)
            (void)job.io->Close(job.stopFd);
        lock.lock();
        jobs_.pop_front();
        changed_.notify_all();
    }
}

} // namespace velmora
