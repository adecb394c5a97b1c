// TForm1 reconnecting by itself: waiting for a lost port to return, reopening it, connecting again.
#include "app/main_window.h"

#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "serial/comm.h"
#include "serial/device_path.h"
#include "serial/port_return_watcher.h"
#include "text/time_of_day.h"
#include "ui/port_error_box.h"

#include <QCheckBox>

namespace velmora {

void TForm1::waitForPortToReturn() {
    lostAt_ = FormatTimeOfDay(CurrentTimeOfDay());
    notePortLost();
    if (Form2) {
        Form2->markEvent("port lost " + lostAt_);
    }
    portWatcher_->Watch(DevicePathForPort(Comm1->CommName(), Comm1->DeviceFolder()));
}

void TForm1::stopWaitingForPort() {
    portWatcher_->Stop();
    reconnectWanted_ = false;
    updateAlarmConnection();
}

void TForm1::portSeenAgain() {
    // The same name and settings as before: the meter is where it was.
    try {
        Comm1->OpenPort();
    } catch (const ECommsError& error) {
        if (portWatcher_->RetryAfterOpenError(error.systemError())) {
            return; // looked at again at the next poll or event
        }
        stopWaitingForPort();
        showNote(QStringLiteral("Port %1 is back but cannot be opened; choose COM SET. %2")
                     .arg(QString::fromStdString(Comm1->CommName()),
                          PortOpenErrorDetails(error, *Comm1)
                              .replace(QLatin1Char('\n'), QLatin1Char(' '))));
        return;
    }
    const bool connectAgain = reconnectWanted_;
    stopWaitingForPort();
    showPortInUse();
    notePortBack();
    recording_->event("reconnected");
    noteSpeedInForce();
    if (Form2) {
        Form2->markEvent("back " + FormatTimeOfDay(CurrentTimeOfDay()));
    }
    // The meter may have been switched off and on: the cycle starts from the
    // beginning, with remote mode and its function.
    if (connectAgain) {
        Check_Connection->setChecked(true);
    }
}

} // namespace velmora
