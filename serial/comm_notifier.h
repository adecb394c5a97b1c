// The hidden receiver on the main thread that turns the workers' notifications into events.
#pragma once

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace velmora {

// One notification: its number (MSG_RX_DATA ... MSG_TX_EMPTY), the two
// parameters, and for received data the zero-terminated byte block it owns.
struct CommNotification {
    int message = 0;
    uint32_t wParam = 0;
    uint32_t lParam = 0;
    std::unique_ptr<char[]> block;
};

// Post() may be called from any thread; every notification is dispatched
// on the thread that created the notifier, one per posted QEvent, in the
// order of the Post() calls. The notifications wait in a queue of our own
// guarded by a std::mutex (the QEvent only says "one is waiting"), which
// keeps the hand-over visible to ThreadSanitizer. The dispatch function may
// throw: the exception leaves through Qt's event delivery (where the
// application's notify() reports it) and the block is still released.
class CommNotifier : public QObject {
public:
    using Dispatch = std::function<void(const CommNotification&)>;

    explicit CommNotifier(Dispatch dispatch);
    ~CommNotifier() override;

    // Never fails; without an event loop the notification just waits.
    void Post(int message, uint32_t wParam = 0, uint32_t lParam = 0,
              std::unique_ptr<char[]> block = nullptr);

protected:
    void customEvent(QEvent* event) override;

private:
    Dispatch dispatch_;
    std::mutex mutex_;
    std::deque<CommNotification> pending_;
};

} // namespace velmora
