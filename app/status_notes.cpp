// TForm1's status bar: the port in use (panel 0) and the notes about the port and the meter.
#include "app/main_window.h"

#include "serial/comm.h"
#include "serial/device_path.h"
#include "settings/serial_settings_dialog.h"
#include "text/control_escape.h"
#include "text/integer_conversion.h"
#include "text/time_of_day.h"
#include "ui/plain_tooltip.h"

#include <QLabel>

namespace velmora {

namespace {

QString PortAndDevice(const TComm& comm) {
    const std::string device = DevicePathForPort(comm.CommName(), comm.DeviceFolder());
    QString text = QString::fromStdString(comm.CommName());
    if (device != comm.CommName()) {
        text += QStringLiteral(" (") + QString::fromStdString(device) + QLatin1Char(')');
    }
    return text;
}

} // namespace

void TForm1::noAnswer(double sinceTimeOfDay) {
    showNote(QStringLiteral("The meter does not answer (since %1)")
                 .arg(QString::fromStdString(FormatTimeOfDay(sinceTimeOfDay))));
}

void TForm1::silenceEnded() {
    showNote({});
}

void TForm1::showNote(const QString& raw) {
    // Texts from the meter, a file or the system may hold control bytes:
    // shown escaped, never acted on.
    const QString note = QString::fromStdString(EscapeControls(raw.toStdString()));
    statusMessage->setText(note);
    // A long note is cut at the bar's end; the tooltip keeps all of it (escaped:
    // a tooltip would read markup).
    statusMessage->setToolTip(PlainToolTip(note));
}

void TForm1::showPortInUse() {
    if (transport_->ownsLine()) {
        // A network meter has no rate or framing: the resource name alone.
        statusPanel->setText(QString::fromStdString(portText_));
        return;
    }
    // One form for the whole run: name, rate, then ",,8,1" (com1,9600,,8,1).
    const std::string status = Comm1->CommName() + "," +
                               FormatInteger(static_cast<int64_t>(Comm1->BaudRate())) + "," +
                               ",8,1";
    statusPanel->setText(QString::fromStdString(status));
}

void TForm1::composeStatusAfterDialog() {
    // Only an OK that reached the component changes what is in use; the close
    // box and Escape leave port and bar as they were. A port chosen with OK
    // ends any wait for a lost one.
    if (Form3->PortReconfigured()) {
        stopWaitingForPort();
        showPortInUse();
    }
    if (transport_->isOpen()) {
        // A note about the old port no longer applies; one about where the
        // dialog's choice was kept does, and one about a rate not taken.
        showNote(settingsNote_);
        if (Form3->PortReconfigured()) {
            noteSpeedInForce();
        }
    } else {
        notePortNotOpen();
    }
    settingsNote_.clear();
}

void TForm1::noteSpeedInForce() {
    // Drivers take the nearest rate they can make and say nothing; the port
    // is then read back, and a difference is worth knowing.
    const std::optional<TermAttributes>& applied = Comm1->AppliedLineSettings();
    const uint32_t asked = Comm1->BaudRate();
    if (!applied || applied->ospeed == asked) {
        return;
    }
    const int64_t shown = asked > 0x7FFFFFFFu ? static_cast<int32_t>(asked) : int64_t{asked};
    showNote(QStringLiteral("The port runs at %1 baud: the rate %2 was not taken")
                 .arg(applied->ospeed)
                 .arg(shown));
}

void TForm1::notePortNotOpen() {
    showNote(QStringLiteral("Port %1 is not open; choose COM SET to set it up")
                 .arg(transport_->ownsLine() ? lineName() : PortAndDevice(*Comm1)));
}

void TForm1::notePortLost() {
    showNote(QStringLiteral("Port %1 lost at %2; waiting for it to return")
                 .arg(transport_->ownsLine() ? lineName() : PortAndDevice(*Comm1),
                      QString::fromStdString(lostAt_)));
}

void TForm1::notePortBack() {
    showNote(QStringLiteral("Reconnected at %1")
                 .arg(QString::fromStdString(FormatTimeOfDay(CurrentTimeOfDay()))));
}

void TForm1::noteSettingsStoredIn(const std::string& path) {
    settingsNote_ =
        QStringLiteral("Settings kept in %1: the file beside the program cannot be written")
            .arg(QString::fromStdString(path));
    showNote(settingsNote_);
}

} // namespace velmora
