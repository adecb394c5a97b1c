// Common frame of the receive and transmit threads: start, priority, stop signal, bounded join.
#pragma once

#include "serial/comm_notifier.h"
#include "serial/comm_runtime.h"
#include "serial/port_io.h"

#include <QLoggingCategory>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace velmora {

// The serial component's log messages ("velmora.serial").
Q_DECLARE_LOGGING_CATEGORY(lcSerial)

// What a worker is given by the component; it owns none of it. The
// descriptors stay open until the worker has been joined.
struct WorkerContext {
    PortIo& io;
    int portFd;
    int stopFd; // eventfd: readable once the component wants the workers gone
    CommNotifier& notifier;
    const PortRuntime& runtime;
    // Which opening of the port the worker serves: a hang-up it asks for is
    // for that opening only, not for a later one.
    uint32_t opening = 0;
};

// A worker must be joined (Join) before it is destroyed: the thread calls
// the derived class's Execute, which is gone once its destructor has run.
class CommWorker {
public:
    explicit CommWorker(const WorkerContext& context);
    virtual ~CommWorker();
    CommWorker(const CommWorker&) = delete;
    CommWorker& operator=(const CommWorker&) = delete;

    // Starts the thread, raising its scheduling priority by `boost` nice
    // steps where the system allows. Throws std::system_error when no
    // thread can be created.
    void Start(int boost);

    // Joins the thread. The workers watch the stop event in every wait, so
    // this is quick; if the body has not ended after `bound` a warning is
    // logged, and the join goes on anyway:
    // the thread still uses the descriptors and the notifier, so leaving
    // it behind would let it touch them after they are gone.
    // Returns false when the bound was exceeded.
    bool Join(std::chrono::milliseconds bound);

protected:
    // The thread's work; may throw (the frame then requests a hang-up).
    virtual void Execute() = 0;
    // Clean-up that runs after Execute however it ended.
    virtual void Finish() noexcept {}

    bool StopSignalled();
    void PostHangup() noexcept;

    WorkerContext ctx_;

private:
    void Run(int boost) noexcept;

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable endedCondition_;
    bool ended_ = false;
};

} // namespace velmora
