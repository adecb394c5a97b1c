// Watching for a serial port to come back: device events and a slow poll of the path.
#include "serial/port_return_watcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <sys/stat.h>

namespace velmora {

PortReturnWatcher::PortReturnWatcher(std::unique_ptr<DeviceEventSource> events, QObject* parent)
    : QObject(parent) {
    poll_.setInterval(static_cast<int>(kPollInterval.count()));
    connect(&poll_, &QTimer::timeout, this, [this] { Look(); });
    SetEventSource(std::move(events));
}

void PortReturnWatcher::SetEventSource(std::unique_ptr<DeviceEventSource> events) {
    notifier_.reset();
    events_ = std::move(events);
    if (events_) {
        notifier_ = std::make_unique<QSocketNotifier>(events_->Fd(), QSocketNotifier::Read);
        notifier_->setEnabled(watching_);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { TakeEvents(); });
    }
}

PortReturnWatcher::~PortReturnWatcher() = default;

bool PortReturnWatcher::DevicePresent(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

void PortReturnWatcher::Watch(const std::string& devicePath) {
    path_ = devicePath;
    watching_ = true;
    busySince_.invalidate();
    if (notifier_)
        notifier_->setEnabled(true);
    if (poll_.interval() > 0)
        poll_.start();
    Look();
}

bool PortReturnWatcher::RetryAfterOpenError(int systemError) {
    if (systemError != EBUSY && systemError != EAGAIN) {
        return false;
    }
    if (!busySince_.isValid()) {
        busySince_.start();
    }
    return busySince_.elapsed() < busyRetry_.count();
}

void PortReturnWatcher::Stop() {
    watching_ = false;
    poll_.stop();
    if (notifier_)
        notifier_->setEnabled(false);
}

void PortReturnWatcher::SetPollInterval(std::chrono::milliseconds interval) {
    poll_.setInterval(static_cast<int>(interval.count()));
    if (interval.count() <= 0)
        poll_.stop();
    else if (watching_)
        poll_.start();
}

void PortReturnWatcher::TakeEvents() {
    // Whatever the event names, the path itself is what counts: a by-id link
    // may be made a moment after the device's event (another event, or the
    // poll, then finds it).
    bool worthALook = false;
    for (const DeviceEvent& event : events_->Take())
        worthALook = worthALook || event.action != "remove";
    if (worthALook && watching_)
        Look();
}

void PortReturnWatcher::Look() {
    if (watching_ && DevicePresent(path_) && onPresent)
        onPresent();
}

} // namespace velmora
