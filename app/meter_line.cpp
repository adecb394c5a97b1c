// TForm1's line to the meter: the resource COM SET names, its profile, opening it, the
// instrument panel, and "Identify".
#include "app/main_window.h"

#include "app/recording_control.h"
#include "serial/comm.h"
#include "settings/connection_settings.h"
#include "settings/serial_settings_dialog.h"
#include "settings/settings_store.h"
#include "text/control_escape.h"
#include "text/trim.h"
#include "transports/transport_error.h"
#include "ui/message_boxes.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QStringList>

namespace velmora {

void TForm1::setSettingsDialog(TForm3* dialog) {
    Form3 = dialog;
    if (!dialog) {
        return;
    }
    QStringList models;
    for (const MeterProfile* profile : profiles_.all()) {
        models << QString::fromStdString(profile->model);
    }
    dialog->SetMeterChoices(models);
    dialog->openLine = [this](const std::string& portText) {
        useResource(portText);
        if (!transport_->ownsLine() && transport_->resource().problem.empty()) {
            return false; // the dialog opens the serial component as always
        }
        openNetworkLine();
        return true;
    };
    dialog->identify = [this] { identifyClick(); };
}

const MeterProfile& TForm1::chosenProfile() const {
    const MeterProfile* chosen =
        profiles_.named(TrimBlanks(settingsFile_->readValue(kMeterSection, "Profile", "")));
    return chosen ? *chosen : Profile34401A();
}

void TForm1::useResource(const std::string& portText) {
    portText_ = TrimBlanks(portText);
    const Resource resource = ParseResource(portText_);
    transport_->use(resource);
    if (resource.kind == ResourceKind::Serial) {
        Comm1->SetCommName(resource.serialPort); // ASRL names lead to their device
    }
    identity_.clear();
    // On a serial port the user's choice holds; a meter on a line of its own says who it is.
    PrepareEngineFor(resource, *engine_, transport_->ownsLine() ? nullptr : &chosenProfile());
    showInstrument();
    serveControl(); // under the meter's name, which may have changed with the port
    publishUnderMeterName();
}

bool TForm1::openNetworkLine() {
    const Resource& resource = transport_->resource();
    QString reason = QString::fromStdString(resource.problem);
    if (reason.isEmpty()) {
        try {
            transport_->open();
            showInstrument(); // an adapter's version is known now
            return true;
        } catch (const TransportError& error) {
            reason = QString::fromStdString(error.what());
        }
    }
    CurrentMessageBoxes().showError(this, QCoreApplication::applicationName(),
                                    QStringLiteral("Cannot connect to %1.")
                                        .arg(QString::fromStdString(EscapeControls(portText_))),
                                    QString::fromStdString(EscapeControls(reason.toStdString())),
                                    false);
    return false;
}

QString TForm1::lineName() const {
    // A serial port by its name and device, as always; a network meter by its description.
    return QString::fromStdString(transport_->ownsLine() ? DescribeResource(transport_->resource())
                                                         : Comm1->CommName());
}

void TForm1::showInstrument() {
    if (!transport_->ownsLine()) {
        statusInstrument->setVisible(false);
        return;
    }
    std::string text =
        engine_->profile().model + " \u00b7 " + DescribeResource(transport_->resource());
    if (!identity_.empty()) {
        text += " \u00b7 " + identity_;
    }
    if (transport_->adapter() && !transport_->adapter()->version().empty()) {
        text += " \u00b7 adapter " + transport_->adapter()->version();
    }
    statusInstrument->setText(QString::fromStdString(EscapeControls(text)));
    statusInstrument->setToolTip(statusInstrument->text());
    statusInstrument->setVisible(true);
}

void TForm1::identified(const std::string& identity) {
    identity_ = identity;
    recording_->event("identified " + identity + " (" + engine_->profile().model + ")");
    showNote(QStringLiteral("The meter is %1").arg(QString::fromStdString(identity)));
    showInstrument();
}

void TForm1::identifyClick() {
    if (!Check_Connection->isChecked()) {
        showNote(QStringLiteral("Connect first: the meter is asked who it is while connected"));
        return;
    }
    engine_->identify();
}

void TForm1::replyTimedOut(const std::string& query) {
    showNote(QStringLiteral("No reply to %1 in time; the meter is brought back in step")
                 .arg(QString::fromStdString(query)));
}

} // namespace velmora
