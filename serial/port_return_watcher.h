// Watches for a serial port that went away to be back at its path.
#pragma once

#include "serial/device_events.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace velmora {

// While watching, the path is looked at on every device event (a USB
// adapter plugged in raises one once udev has made its links) and, because
// pseudo-terminals and containers raise none, also every poll interval.
// Each look that finds a character device at the path calls onPresent, on
// the thread that owns the watcher (the main thread); the owner then tries
// to open it and stops the watch once it has the port, or keeps watching
// (a port just plugged in may be busy for a moment while a modem manager
// probes it). Looking is a stat() of the path: it never opens the device.
class PortReturnWatcher : public QObject {
public:
    static constexpr std::chrono::milliseconds kPollInterval{500};

    // `events` null: polling only.
    explicit PortReturnWatcher(std::unique_ptr<DeviceEventSource> events,
                               QObject* parent = nullptr);
    ~PortReturnWatcher() override;

    // Starts watching `devicePath` (replacing an earlier watch) and looks at once.
    void Watch(const std::string& devicePath);
    void Stop();
    bool Watching() const { return watching_; }
    const std::string& WatchedPath() const { return path_; }

    // Replaces the source of device events (null: polling only).
    void SetEventSource(std::unique_ptr<DeviceEventSource> events);
    // Zero: events only (tests of the event path).
    void SetPollInterval(std::chrono::milliseconds interval);

    std::function<void()> onPresent;

    // A port just plugged in may be held for a moment by a program that
    // probes new ports (a modem manager): true when an open that failed with
    // `systemError` is worth trying again at the next look, that is when the
    // port was busy and has been for less than kBusyRetry in this watch.
    static constexpr std::chrono::milliseconds kBusyRetry{5000};
    bool RetryAfterOpenError(int systemError);
    // Tests of the limit shorten it.
    void SetBusyRetry(std::chrono::milliseconds limit) { busyRetry_ = limit; }

    // True when a character device is at `path` (links followed).
    static bool DevicePresent(const std::string& path);

private:
    void Look();
    void TakeEvents();

    std::unique_ptr<DeviceEventSource> events_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer poll_;
    std::string path_;
    bool watching_ = false;
    QElapsedTimer busySince_; // the first busy open of this watch
    std::chrono::milliseconds busyRetry_ = kBusyRetry;
};

} // namespace velmora
