// Cross-thread notification queue, delivered through the Qt event loop.
#include "serial/comm_notifier.h"

#include "serial/comm_types.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace velmora {

CommNotifier::CommNotifier(Dispatch dispatch)
    : dispatch_(std::move(dispatch)) {}

// Qt drops the QEvents still posted to this object; the queue releases the
// blocks. Taking the lock orders those events after their posting threads.
CommNotifier::~CommNotifier() {
    std::lock_guard lock(mutex_);
}

void CommNotifier::Post(int message, uint32_t wParam, uint32_t lParam,
                        std::unique_ptr<char[]> block) {
    // Allocated before the lock is released, and only looked at under the
    // lock on the main thread: the mutex, not Qt's internal one, orders the
    // event's memory between the threads (which ThreadSanitizer can see).
    // Qt's own lock around its list of posted events is invisible to
    // ThreadSanitizer too, so two workers posting at once (a received block
    // and "transmit queue empty") also post under ours. Qt delivers the
    // event with its lock released, so customEvent() taking ours cannot
    // deadlock against this.
    auto event = std::make_unique<QEvent>(static_cast<QEvent::Type>(message));
    std::lock_guard lock(mutex_);
    pending_.push_back(CommNotification{message, wParam, lParam, std::move(block)});
    QCoreApplication::postEvent(this, event.release());
}

void CommNotifier::customEvent(QEvent* event) {
    CommNotification notification;
    {
        std::lock_guard lock(mutex_);
        const int type = event->type();
        if (type < MSG_RX_DATA || type > MSG_TX_EMPTY || pending_.empty())
            return;
        notification = std::move(pending_.front());
        pending_.pop_front();
    }
    // `notification` owns the block until this returns or unwinds.
    if (dispatch_)
        dispatch_(notification);
}

} // namespace velmora
