// TForm3: the modal "Com Set" dialog in which the user picks the serial port and baud rate.
#include "settings/serial_settings_dialog.h"

#include "serial/comm.h"
#include "serial/device_path.h"
#include "settings/connection_settings.h"
#include "settings/serial_port_list.h"
#include "settings/settings_store.h"
#include "text/trim.h"
#include "ui/emulator_link.h"
#include "ui/exception_report.h"
#include "ui/port_error_box.h"
#include "ui_serial_settings_dialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPushButton>
#include <QShowEvent>
#include <QStringList>
#include <QStyle>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <utility>

namespace velmora {

namespace {

// The numbered names the designed list holds; the ports found are added after them.
constexpr int kDesignedPorts = 10;

} // namespace

TForm3::TForm3(TComm& comm, SettingsStore& settingsFile, QWidget* parent)
    : QDialog(parent)
    , ui_(std::make_unique<Ui::Form3>())
    , comm_(comm)
    , settingsFile_(settingsFile)
    , emulatorLink_(EmulatorLinkPath()) {
    ui_->setupUi(this);
    // The designed place on the screen; a moved window is not re-centred on its parent.
    move(201, 419);
    connect(ui_->Button1, &QPushButton::clicked, this, ReportingSlot(this, &TForm3::Button1Click));
    // The box is narrow for a long path: the tooltip shows it whole.
    connect(ui_->ComboBox1, &QComboBox::editTextChanged, this, [this] { ShowPortToolTip(); });
    connect(ui_->IdentifyButton, &QPushButton::clicked, this, [this] {
        if (identify) {
            identify();
        }
    });
}

void TForm3::SetMeterChoices(const QStringList& models) {
    ui_->MeterBox->clear();
    ui_->MeterBox->addItems(models);
}

TForm3::~TForm3() = default;

void TForm3::SetEmulatorLink(std::string path) {
    emulatorLink_ = std::move(path);
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window restored from the minimised state gets a show event from the system
    // too; only a real showing reloads the boxes, so edits survive minimising.
    if (!event->spontaneous()) {
        reconfigured_ = false;
        RunReportingExceptions([this] {
            RefreshPortList();
            FormShow();
            // The same text as last time sends no change, yet its device may
            // have moved (an emulator restarted, an adapter replugged).
            ShowPortToolTip();
        });
    }
}

void TForm3::RefreshPortList() {
    QComboBox& box = *ui_->ComboBox1;
    while (box.count() > kDesignedPorts) {
        box.removeItem(box.count() - 1);
    }
    for (const std::string& port : AvailableSerialPorts(comm_.DeviceFolder(), emulatorLink_)) {
        box.addItem(QString::fromStdString(port));
    }
    // The stable names are long paths: the open list may be wider than the box.
    QAbstractItemView& list = *box.view();
    list.setMinimumWidth(list.sizeHintForColumn(0) +
                         box.style()->pixelMetric(QStyle::PM_ScrollBarExtent) +
                         2 * list.frameWidth());
}

void TForm3::ShowPortToolTip() {
    // The full name and the device it leads to (through a stable by-id link,
    // the adapter's own device), on unwrapped lines and escaped: a tooltip
    // would read markup.
    const std::string name = TrimBlanks(ui_->ComboBox1->currentText().toStdString());
    QStringList lines{QString::fromStdString(name).toHtmlEscaped()};
    if (!name.empty()) {
        const std::string device = DevicePathForPort(name, comm_.DeviceFolder());
        std::error_code error;
        const std::string target = std::filesystem::canonical(device, error).string();
        for (const std::string& step : {device, error ? device : target}) {
            const QString text = QString::fromStdString(step).toHtmlEscaped();
            if (step != name && !lines.last().endsWith(text)) {
                lines << QStringLiteral("&rarr; ") + text;
            }
        }
    }
    ui_->ComboBox1->setToolTip(QStringLiteral("<qt><p style='white-space:pre'>") +
                               lines.join(QStringLiteral("<br>")) + QStringLiteral("</p></qt>"));
}

void TForm3::FormShow() {
    const ComInfo line = ReadComInfo(settingsFile_);
    ui_->ComboBox1->setEditText(QString::fromStdString(line.port));
    ui_->ComboBox2->setEditText(QString::fromStdString(line.baudText));
    const int chosen = ui_->MeterBox->findText(
        QString::fromStdString(settingsFile_.readValue(kMeterSection, "Profile", "")),
        Qt::MatchFixedString);
    ui_->MeterBox->setCurrentIndex(std::max(chosen, 0));
}

void TForm3::Button1Click() {
    const std::string portText = ui_->ComboBox1->currentText().toStdString();
    const std::string baudText = ui_->ComboBox2->currentText().toStdString();

    comm_.ClosePort();
    comm_.SetCommName(TrimBlanks(portText));
    comm_.SetBaudRate(ComBaudRate(TrimBlanks(baudText)));
    WriteComInfo(settingsFile_, {portText, baudText});
    // Kept only once chosen: an untouched file stays as it was.
    const std::string stored = settingsFile_.readValue(kMeterSection, "Profile", "");
    const std::string profile = ui_->MeterBox->currentText().toStdString();
    if (ui_->MeterBox->count() > 0 && (!stored.empty() || ui_->MeterBox->currentIndex() > 0) &&
        profile != stored) {
        settingsFile_.writeValue(kMeterSection, "Profile", profile);
    }
    reconfigured_ = true;

    // From here on the dialog is done, but it stays on screen until this handler
    // returns, so the error box below stands over it.
    try {
        if (openLine && openLine(TrimBlanks(portText))) {
            done(QDialog::Rejected);
            return;
        }
        comm_.OpenPort();
    } catch (const ECommsError& error) {
        ShowPortOpenError(this, comm_.CommName(), PortOpenErrorDetails(error, comm_));
    } catch (...) {
        done(QDialog::Rejected);
        throw;
    }
    done(QDialog::Rejected);
}

} // namespace velmora
