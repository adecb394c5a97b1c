// TForm1: construction, start-up (FormCreate, FormShow) and shut-down (FormCloseQuery).
#include "app/main_window.h"

#include "app/alarm_control.h"
#include "app/math_control.h"
#include "app/recording_control.h"
#include "control/control_server.h"
#include "control/engine_control.h"
#include "publish/engine_publishing.h"

#include "app/reading_log_box.h"
#include "chart/chart_display_menu.h"
#include "chart/chart_window.h"
#include "help/clickable_picture.h"
#include "lcd/lcd_matrix.h"
#include "measure/advanced_page.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "settings/connection_settings.h"
#include "settings/layered_settings.h"
#include "settings/serial_settings_dialog.h"
#include "settings/settings_path.h"
#include "text/control_escape.h"
#include "text/exception.h"
#include "ui/exception_report.h"
#include "ui/message_boxes.h"
#include "ui/port_error_box.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace velmora {

namespace {

Q_LOGGING_CATEGORY(lcStartup, "velmora.startup", QtWarningMsg)

} // namespace

TForm1::TForm1(QWidget* parent, std::string settingsPath, std::string userSettingsPath)
    : QWidget(parent)
    , settingsPathOverride_(std::move(settingsPath))
    , userSettingsPathOverride_(std::move(userSettingsPath)) {
    pause = [](int milliseconds) { QThread::msleep(static_cast<unsigned long>(milliseconds)); };
    chooseSaveFile = [this] {
        return SaveDialog1->exec() == QDialog::Accepted ? SaveDialog1->selectedFiles().value(0)
                                                        : QString();
    };

    createControls();
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(50);
    recording_ = new RecordingControl(this, statusRecording);
    recording_->showNote = [this](const QString& note) { showNote(note); };
    recordAction_ = new QAction(QStringLiteral("Start recording..."), this);
    connect(recordAction_, &QAction::triggered, this,
            [this] { RunReportingExceptions([this] { recording_->toggle(); }); });
    recording_->onChanged = [this](bool on, const QString& fileName) {
        recordAction_->setText(on ? QStringLiteral("Stop recording")
                                  : QStringLiteral("Start recording..."));
        if (Form2) {
            Form2->setRecording(on, fileName);
        }
        if (on && Check_Connection->isChecked()) {
            recording_->event("meter " + meterName());
        }
    };
    createAlarms();
    createMath();
    createAdvancedPage();
    portWatcher_ = new PortReturnWatcher(OpenUdevSerialEvents(), this);
    Comm1 = new TComm(this);
    Comm1->setObjectName(QStringLiteral("Comm1"));
    transport_ = std::make_unique<ResourceLine>(*Comm1, *portWatcher_);
    for (const std::string& folder : ProfileCatalog::StandardFolders()) {
        profiles_.addFolder(folder);
    }
    engine_ = std::make_unique<AcquisitionEngine>(*transport_);
    engine_->setProfileCatalog(&profiles_);
    // A socket's lines take the serial component's way in, so both lines
    // are one path to the engine.
    transport_->onReceive = [this](const char* bytes, size_t length) {
        Comm1ReceiveData(Comm1, bytes, static_cast<uint16_t>(length));
    };
    transport_->onLost = [this] { Comm1RequestHangup(); };
    // The window's own pause, blocking: nothing may run while the meter settles.
    engine_->pause = [this](int milliseconds) { pause(milliseconds); };
    engine_->logLineCount = [this] {
        const int64_t lines = Memo2->lineCount();
        return static_cast<int32_t>(std::min<int64_t>(lines, std::numeric_limits<int32_t>::max()));
    };
    // Back while connected: ticked again, as the user would.
    engine_->connectAgain = [this] { Check_Connection->setChecked(true); };
    engine_->addListener(this);
    createControl();
    createPublishing();
    configureComm();
    connectHandlers();
    showLineCount();

    // An error here is reported and the window is created all the same.
    RunReportingExceptions([this] { FormCreate(); });
    if (!profiles_.problems().empty()) {
        // Said once: the file is skipped until it is mended.
        const size_t more = profiles_.problems().size() - 1;
        showNote(QStringLiteral("Profile file skipped: %1%2")
                     .arg(QString::fromStdString(EscapeControls(profiles_.problems().front())),
                          more ? QStringLiteral(" (and %1 more)").arg(more) : QString()));
    }
}

TForm1::~TForm1() {
    publishing_.reset(); // a listener of the engine, as the control is
    controlServer_.reset();
    control_.reset();
    // The owner closes the port; make sure no worker outlives the window
    // even when the close query never ran.
    transport_->close();
    Comm1->ClosePort();
    engine_->removeListener(this);
}

void TForm1::configureComm() {
    Comm1->SetCommName("COM1");
    Comm1->SetBaudRate(9600);
    Comm1->SetReadIntervalTimeout(26);
    Comm1->SetReadTotalTimeoutMultiplier(0);
    Comm1->SetReadTotalTimeoutConstant(0);
    Comm1->SetWriteTotalTimeoutMultiplier(0);
    Comm1->SetWriteTotalTimeoutConstant(0);
    Comm1->OnReceiveData = [this](TComm* sender, const char* buffer, uint16_t length) {
        Comm1ReceiveData(sender, buffer, length);
    };
    Comm1->OnRequestHangup = [this](TComm*) { Comm1RequestHangup(); };
}

void TForm1::connectHandlers() {
    const auto on = [this](QPushButton* button, void (TForm1::*handler)()) {
        connect(button, &QPushButton::clicked, this, ReportingSlot(this, handler));
    };
    on(DCV_Btn, &TForm1::DCV_BtnClick);
    on(ACV_Btn, &TForm1::ACV_BtnClick);
    on(OHM2_Btn, &TForm1::OHM2_BtnClick);
    on(OHM4_Btn, &TForm1::OHM4_BtnClick);
    on(DCI_Btn, &TForm1::DCI_BtnClick);
    on(ACI_Btn, &TForm1::ACI_BtnClick);
    on(Freq_Btn, &TForm1::Freq_BtnClick);
    on(period_Btn, &TForm1::period_BtnClick);
    on(Diod_Btn, &TForm1::Diod_BtnClick);
    on(Cont_Btn, &TForm1::Cont_BtnClick);
    on(Button2, &TForm1::Button2Click);
    on(Button5, &TForm1::Button5Click);
    on(Button3, &TForm1::Button3Click);
    on(Button3_Send, &TForm1::Button3_SendClick);
    on(CONF, &TForm1::CONFClick);
    on(ClearBtn, &TForm1::ClearBtnClick);
    on(Button1, &TForm1::Button1Click);
    on(Button4, &TForm1::Button4Click);

    // The handler runs on every change of state, by the user or the program.
    connect(Check_Connection, &QCheckBox::toggled, this,
            ReportingSlot(this, &TForm1::Check_ConnectionClick));
    // Every change of the text, typed or chosen from the list.
    connect(COMBOX_INTERVAL, &QComboBox::editTextChanged, this,
            ReportingSlot(this, &TForm1::COMBOX_INTERVALChange));
    connect(Timer1, &QTimer::timeout, this, ReportingSlot(this, &TForm1::Timer1Timer));
    Image1->onClick = ReportingSlot(this, &TForm1::Image1Click);
}

void TForm1::FormCreate() {
    PageControl1->setEnabled(false);
    SettingsLocations where{settingsPathOverride_, userSettingsPathOverride_, {}};
    if (where.beside.empty()) {
        try {
            where = SettingsLocationsFor(ExecutablePath());
        } catch (...) {
            // Without a path every read gives the defaults and every write
            // is refused, which the report then shows.
            settingsFile_ = std::make_unique<LayeredSettings>(std::string(), std::string());
            throw;
        }
    }
    auto settings = std::make_unique<LayeredSettings>(where.beside, where.user, where.defaults);
    settings->onStoredInUserFile = [this](const std::string& path) { noteSettingsStoredIn(path); };
    const auto unreadable = settings->unreadableLayers();
    settingsFile_ = std::move(settings);
    recording_->setSettings(settingsFile_.get());
    alarms_->load(settingsFile_.get());
    math_->load(settingsFile_.get());
    const ReadMeterSettingsResult meter = ReadMeterSettings(*settingsFile_);
    engine_->setMeterSettings(meter.settings);
    advancedPage_->showDisplay(meter.settings.displayOn);
    advancedPage_->showAcquisition(meter.settings.fast);
    advancedPage_->showSamples(meter.settings.samples);
    if (meter.problem) {
        ReportException(Exception("The [" + std::string(kMeterSettingsSection) +
                                  "] section of the settings file holds values the meter does not "
                                  "take (" +
                                  *meter.problem + "); the meter's defaults stand in for them."));
    }
    // Said once, and the file is left as it is: the defaults stand in for it.
    for (const auto& [path, reason] : unreadable) {
        ReportException(Exception("The settings file " + path + " cannot be read (" + reason +
                                  "); the defaults are used."));
    }
    WriteDefaultComInfo(*settingsFile_);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        // For the start-up benchmark: QT_LOGGING_RULES="velmora.startup.debug=true".
        qCDebug(lcStartup, "main window shown");
        // Runs once the window is on screen, so its boxes have a window to
        // stand in front of.
        QTimer::singleShot(0, this, [this] { RunReportingExceptions([this] { FormShow(); }); });
    }
}

void TForm1::FormShow() {
    const ComInfo line = ReadComInfo(*settingsFile_);
    Comm1->SetCommName(line.port);
    // Converted as always, so a file stays valid for both kinds of port.
    Comm1->SetBaudRate(ComBaudRate(line.baudText));
    useResource(line.port);
    showPortInUse();
    if (transport_->ownsLine() || !transport_->resource().problem.empty()) {
        if (!openNetworkLine() && Form3) {
            Form3->exec();
            composeStatusAfterDialog();
        }
        return;
    }
    try {
        Comm1->OpenPort();
        noteSpeedInForce();
    } catch (const ECommsError& error) {
        ShowPortOpenError(this, Comm1->CommName(), PortOpenErrorDetails(error, *Comm1));
        if (Form3) {
            Form3->exec();
            composeStatusAfterDialog();
        }
    }
}

std::string TForm1::meterName() const {
    return ReadMeterName(*settingsFile_, Comm1->CommName());
}

void TForm1::closeEvent(QCloseEvent* event) {
    // A failure while closing (a save that went wrong) is reported and keeps
    // the window open, so nothing the user asked to keep is lost.
    bool canClose = false;
    RunReportingExceptions([&] { canClose = FormCloseQuery(); });
    if (!canClose) {
        event->ignore();
        return;
    }
    event->accept();
    if (Form4) {
        Form4->close(); // the help window goes with the program
    }
    emit closed();
}

bool TForm1::FormCloseQuery() {
    if (unsavedReadings_ && !saveBeforeClosing()) {
        return false;
    }
    // The meter is not sent back to local mode: closing is immediate. A
    // recording ends with the program (its last rows synced).
    recording_->stop();
    // The last readings out to the servers, "offline" said; the rest waits in the spool.
    stopPublishing();
    transport_->close();
    Comm1->ClosePort();
    return true;
}

bool TForm1::saveBeforeClosing() {
    switch (CurrentMessageBoxes().askSave(
        this, windowTitle(),
        QStringLiteral("The reading log holds readings that were never saved.\n"
                       "Save them before closing?"))) {
    case MessageBoxes::SaveChoice::Discard:
        return true;
    case MessageBoxes::SaveChoice::Cancel:
        return false;
    case MessageBoxes::SaveChoice::Save:
        break;
    }
    const QString fileName = chooseSaveFile();
    if (fileName.isEmpty()) {
        return false;
    }
    saveLog(fileName); // a failure is reported and keeps the window open
    return true;
}

void TForm1::Button4Click() {
    close();
}

void TForm1::Image1Click() {
    if (Form4) {
        Form4->show();
        Form4->raise();
        Form4->activateWindow();
    }
}

void TForm1::CONFClick() {
    if (Form3) {
        Form3->exec();
        composeStatusAfterDialog();
    }
}

void TForm1::setChartWindow(TForm2* chart) {
    Form2 = chart;
    delete displayMenu_;
    displayMenu_ = nullptr;
    if (chart) {
        displayMenu_ = new ChartDisplayMenu(*chart, this);
        displayMenu_->watch(iLCDMatrix1);
        displayMenu_->watch(iLCDMatrix2);
        displayMenu_->menu()->addSeparator();
        displayMenu_->menu()->addAction(recordAction_);
        displayMenu_->menu()->addSeparator();
        displayMenu_->menu()->addAction(alarmsAction_);
        displayMenu_->menu()->addAction(acknowledgeAction_);
        displayMenu_->menu()->addMenu(math_->menu());
        displayMenu_->menu()->addSeparator();
        displayMenu_->menu()->addAction(publishAction_);
        displayMenu_->menu()->addAction(consoleAction_);
        displayMenu_->menu()->addAction(meterCommandsAction_);
        chart->onRecordClicked = [this] { recording_->toggle(); };
        chart->onAlarmsClicked = [this] { alarms_->edit(); };
        chart->setRecording(recording_->recording(),
                            QString::fromStdString(recording_->writer().Path()));
    }
}

} // namespace velmora
