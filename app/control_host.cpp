// TForm1's control interface: the engine's readings for scripts, the settings file's [Control]
// section, the console.
#include "app/main_window.h"

#include "alarms/alarm_monitor.h"
#include "app/alarm_control.h"
#include "app/math_control.h"
#include "app/meter_console.h"
#include "app/recording_control.h"
#include "control/control_server.h"
#include "control/engine_control.h"
#include "control/recording_name.h"
#include "settings/settings_store.h"
#include "text/trim.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace velmora {

namespace {

constexpr const char* kControlSection = "Control";

bool IsOn(const std::string& value) {
    const std::string v = TrimBlanks(value);
    return v == "1" || v == "on" || v == "yes" || v == "true";
}

} // namespace

void TForm1::createControl() {
    control_ = std::make_unique<EngineControl>(*engine_);
    controlServer_ = std::make_unique<ControlServer>(*control_);
    control_->onStartRecording = [this](const std::string& name) -> std::optional<ControlError> {
        const QString folder = QFileInfo(recording_->suggestedFile()).absolutePath();
        const QString file =
            name.empty() ? recording_->suggestedFile()
                         : QDir(folder).filePath(QString::fromStdString(RecordingFileName(name)));
        if (const std::optional<std::string> why = recording_->startQuietly(file)) {
            return ControlError{-250, "cannot write " + QFileInfo(file).fileName().toStdString() +
                                          ": " + *why};
        }
        return std::nullopt;
    };
    control_->onStopRecording = [this] { recording_->stop(); };
    control_->isRecording = [this] { return recording_->recording(); };
    control_->recordingFile = [this] {
        return QFileInfo(QString::fromStdString(recording_->writer().Path()))
            .fileName()
            .toStdString();
    };
    control_->alarmsRaised = [this] { return RaisedAlarmNames(alarms_->monitor()); };
    control_->lastDerived = [this] { return DerivedNumber(math_->math().last()); };

    consoleAction_ = new QAction(QStringLiteral("Meter console..."), this);
    connect(consoleAction_, &QAction::triggered, this, [this] { openConsole(); });
    meterCommandsAction_ = new QAction(QStringLiteral("Scripts may send meter commands"), this);
    meterCommandsAction_->setCheckable(true);
    connect(meterCommandsAction_, &QAction::toggled, this, [this](bool on) {
        control_->setMeterLinesAllowed(on);
        if (settingsFile_) {
            try {
                settingsFile_->writeValue(kControlSection, "MeterCommands", on ? "1" : "0");
            } catch (...) {
                // In force for this run all the same.
            }
        }
    });
}

void TForm1::serveControl() {
    if (!settingsFile_) {
        return;
    }
    const bool unixSocket = IsOn(settingsFile_->readValue(kControlSection, "Socket", "1"));
    const std::string tcpText =
        TrimBlanks(settingsFile_->readValue(kControlSection, "TcpPort", ""));
    std::string address = TrimBlanks(settingsFile_->readValue(kControlSection, "TcpAddress", ""));
    if (address.empty()) {
        address = "127.0.0.1";
    }
    const bool allowed = IsOn(settingsFile_->readValue(kControlSection, "MeterCommands", "0"));
    {
        const QSignalBlocker quiet(meterCommandsAction_); // read, not a choice to keep
        meterCommandsAction_->setChecked(allowed);
    }
    control_->setMeterLinesAllowed(allowed);

    ControlListen how;
    how.name = meterName();
    how.unixSocket = unixSocket;
    if (!tcpText.empty()) {
        bool number = false;
        const uint port = QString::fromStdString(tcpText).toUInt(&number);
        if (!number || port > 65535) {
            showNote(QStringLiteral("The control port \"%1\" is no port number: no TCP control")
                         .arg(QString::fromStdString(tcpText)));
        } else {
            how.tcpPort = static_cast<uint16_t>(port);
        }
    }
    how.tcpAddress = address;
    const std::string served = how.name + "|" + (unixSocket ? "unix" : "") + "|" +
                               (how.tcpPort ? std::to_string(*how.tcpPort) : "") + "|" + address;
    if (served == controlServed_) {
        return; // already listening so: its clients stay
    }
    controlServed_ = served;
    if (!unixSocket && !how.tcpPort) {
        controlServer_->close();
        return;
    }
    if (const std::optional<std::string> problem = controlServer_->listen(how)) {
        showNote(QStringLiteral("Control interface not served: %1")
                     .arg(QString::fromStdString(*problem)));
        return;
    }
    if (how.tcpPort) {
        const QString where = QStringLiteral("%1 port %2; AUTH token in %3")
                                  .arg(QString::fromStdString(address))
                                  .arg(controlServer_->tcpPort())
                                  .arg(QString::fromStdString(controlServer_->tokenPath()));
        showNote(controlServer_->exposed()
                     ? QStringLiteral("Warning: other hosts can reach the control port on ") + where
                     : QStringLiteral("Control on ") + where);
    }
}

MeterConsole* TForm1::console() {
    if (!console_) {
        console_ = new MeterConsole(*control_, this);
        console_->setWindowFlag(Qt::Window);
        console_->errorQuery = [this] { return engine_->profile().errorQuery; };
    }
    QString where;
    if (!controlServer_->socketPath().empty()) {
        where =
            QStringLiteral("Scripts: %1").arg(QString::fromStdString(controlServer_->socketPath()));
    }
    if (controlServer_->tcpPort() != 0) {
        where += QStringLiteral("%1TCP port %2 (token in %3)")
                     .arg(where.isEmpty() ? QStringLiteral("Scripts: ") : QStringLiteral("; "))
                     .arg(controlServer_->tcpPort())
                     .arg(QString::fromStdString(controlServer_->tokenPath()));
    }
    console_->setWhere(where);
    return console_;
}

void TForm1::openConsole() {
    MeterConsole* dialog = console();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
    dialog->field()->setFocus(); // ready to type into
}

} // namespace velmora
