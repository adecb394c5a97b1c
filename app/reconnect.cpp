// TForm1 while the engine waits for a lost port: the notes, the chart's marks, Connect again.
#include "app/main_window.h"

#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "serial/comm.h"
#include "text/time_of_day.h"
#include "ui/port_error_box.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

namespace velmora {

void TForm1::Comm1RequestHangup() {
    // The device went away (a USB adapter unplugged, the emulator ended):
    // the engine releases it and waits for the same port to return.
    engine_->lineLost();
}

void TForm1::portLost() {
    // Left as if the user had unticked Connect (COM SET usable again), but
    // nothing goes to the meter: there is no port to send it to.
    recording_->event("port lost");
    Timer1->stop();
    {
        const QSignalBlocker quiet(Check_Connection);
        Check_Connection->setChecked(false);
    }
    PageControl1->setEnabled(false);
    CONF->setEnabled(true);
    lostAt_ = FormatTimeOfDay(CurrentTimeOfDay());
    notePortLost();
    if (Form2) {
        Form2->markEvent("port lost " + lostAt_);
    }
    updateAlarmConnection();
}

void TForm1::stopWaitingForPort() {
    engine_->stopWaiting();
    updateAlarmConnection();
}

void TForm1::reconnected() {
    updateAlarmConnection();
    showPortInUse();
    notePortBack();
    recording_->event("reconnected");
    noteSpeedInForce();
    if (Form2) {
        Form2->markEvent("back " + FormatTimeOfDay(CurrentTimeOfDay()));
    }
}

void TForm1::reopenFailed(const std::exception& error) {
    updateAlarmConnection();
    const auto* comms = dynamic_cast<const ECommsError*>(&error);
    const QString details =
        comms ? PortOpenErrorDetails(*comms, *Comm1) : QString::fromStdString(error.what());
    showNote(QStringLiteral("Port %1 is back but cannot be opened; choose COM SET. %2")
                 .arg(QString::fromStdString(Comm1->CommName()),
                      QString(details).replace(QLatin1Char('\n'), QLatin1Char(' '))));
}

} // namespace velmora
