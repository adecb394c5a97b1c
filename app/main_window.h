// TForm1: the main window, a view of one acquisition engine: displays, reading log, start-up.
#pragma once

#include "acquisition/acquisition_engine.h"
#include "acquisition/serial_transport.h"
#include "measure/meter_settings.h"
#include "measure/meter_settings_store.h"
#include "record/recording_format.h"
#include "transports/resource_line.h"

#include <QColor>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimer;

namespace velmora {

class AdvancedPage;
class ControlServer;
class EngineControl;
class EnginePublishing;
class PublishDialog;
struct PublishConfig;
class MeterConsole;
class AlarmControl;
class MathControl;
class ChartDisplayMenu;
class ClickablePicture;
class PortReturnWatcher;
class RecordingControl;
class SettingsStore;
class ReadingLogBox;
class TComm;
class TForm2;
class TForm3;
class TiLCDMatrix;

// The whole visible face of the tool. Controls keep their given names; the
// handlers are named after them and hand the cycle's work to the engine,
// whose readings and events the window shows. Everything here runs on the
// main thread: timer ticks, clicks and the serial component's deliveries
// never overlap, so the cycle's state needs no lock.
class TForm1 : public QWidget, private AcquisitionListener {
    Q_OBJECT

public:
    // `settingsPath` replaces the file beside the executable and `userSettingsPath`
    // the user's own file (tests, tools); with `settingsPath` given and no user
    // path, there is no user layer.
    explicit TForm1(QWidget* parent = nullptr, std::string settingsPath = {},
                    std::string userSettingsPath = {});
    ~TForm1() override;

    // The other windows, created after this one by the program entry.
    // The dialog opens network lines and asks "*IDN?" through the window.
    void setSettingsDialog(TForm3* dialog);
    void setHelpWindow(QWidget* window) { Form4 = window; }
    // The chart follows every reading and opens from the displays.
    void setChartWindow(TForm2* chart);

    // Seams for tests: the blocking pause of the main thread, and the save
    // dialog (returns the chosen file, empty when cancelled).
    std::function<void(int milliseconds)> pause;
    std::function<QString()> chooseSaveFile;

    // Handlers, named as the controls they serve.
    void FormCreate();
    void FormShow();
    bool FormCloseQuery();
    void sendcommand(const std::string& command);
    void Timer1Timer();
    void Check_ConnectionClick();
    void DCV_BtnClick();
    void ACV_BtnClick();
    void OHM2_BtnClick();
    void OHM4_BtnClick();
    void DCI_BtnClick();
    void ACI_BtnClick();
    void Freq_BtnClick();
    void period_BtnClick();
    void Diod_BtnClick();
    void Cont_BtnClick();
    void Button2Click();
    void Button5Click();
    void Button3Click();
    void Button3_SendClick();
    void keyenable();
    void Comm1ReceiveData(TComm* Sender, const char* Buffer, uint16_t BufferLength);
    void COMBOX_INTERVALChange();
    void ClearBtnClick();
    void Button1Click();
    void Button4Click();
    void Image1Click();
    void CONFClick();

    // The cycle's and the reply handler's state, kept by the engine.
    AcquisitionEngine& engine() const { return *engine_; }
    const std::string& nextCommand() const { return engine_->nextCommand(); }
    uint8_t canSend() const { return engine_->canSend(); }
    const std::string& unitLabel() const { return engine_->unitLabel(); }
    int32_t readingCounter() const { return engine_->readingCounter(); }
    int32_t logInterval() const { return engine_->logInterval(); }
    SettingsStore* settingsFile() const { return settingsFile_.get(); }
    // The meter's name for the recording: [Meter] Name=, else the port.
    std::string meterName() const;
    // True while logged readings have not been saved since they were logged.
    bool hasUnsavedReadings() const { return unsavedReadings_; }

    // Controls.
    QFrame* Panel2 = nullptr;
    TiLCDMatrix* iLCDMatrix1 = nullptr;
    TiLCDMatrix* iLCDMatrix2 = nullptr;
    QCheckBox* Check_Connection = nullptr;
    QPushButton* CONF = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QFrame* Panel1 = nullptr;
    QPushButton* DCV_Btn = nullptr;
    QPushButton* ACV_Btn = nullptr;
    QPushButton* OHM2_Btn = nullptr;
    QPushButton* OHM4_Btn = nullptr;
    QPushButton* DCI_Btn = nullptr;
    QPushButton* ACI_Btn = nullptr;
    QPushButton* Cont_Btn = nullptr;
    QPushButton* Freq_Btn = nullptr;
    QPushButton* period_Btn = nullptr;
    QPushButton* Diod_Btn = nullptr;
    QWidget* TabSheet2 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button3 = nullptr;
    ClickablePicture* Image1 = nullptr;
    QPushButton* Button3_Send = nullptr;
    QLabel* Label4 = nullptr;
    QComboBox* COMBOX_INTERVAL = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    ReadingLogBox* Memo2 = nullptr;
    QPushButton* ClearBtn = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button4 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QLabel* statusPanel = nullptr;   // the bar's one panel: port and rate
    QLabel* statusMessage = nullptr; // silence and lost-port notes
    QLabel* statusLineCount = nullptr;
    QLabel* statusRecording = nullptr;  // the recording's indicator
    QLabel* statusAlarm = nullptr;      // the banner of raised alarms
    QLabel* statusInstrument = nullptr; // a network meter: its profile, line and identity
    QLabel* statusMath = nullptr;       // which math is on for the meter's function
    QLabel* statusPublish = nullptr;    // how the servers keep up; hidden when nothing publishes
    QLabel* limitCounts = nullptr;      // beside the displays, while a limit test is on
    QTimer* Timer1 = nullptr;
    TComm* Comm1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    // Recording every reading to a file (menu of the displays, chart window).
    RecordingControl* recording() const { return recording_; }
    QAction* recordAction() const { return recordAction_; }
    // Math on the readings (its own menu in the displays' menu).
    MathControl* math() const { return math_; }
    // Alarms on the readings (menu of the displays, chart window).
    AlarmControl* alarms() const { return alarms_; }
    QAction* alarmsAction() const { return alarmsAction_; }
    QAction* acknowledgeAction() const { return acknowledgeAction_; }

    // The meter's settings on the "Advanced" page, and the commands and
    // queries waiting to go before the cycle's own next command.
    AdvancedPage* advancedPage() const { return advancedPage_; }
    const MeterSettings& meterSettings() const { return engine_->meterSettings(); }
    const std::deque<std::string>& queuedCommands() const { return engine_->queuedCommands(); }

    // The control interface: its server (nothing listens while it could not
    // be served), the console and the menu's entries for them.
    ControlServer* controlServer() const { return controlServer_.get(); }
    // Serves scripts as the [Control] section says, under the meter's name
    // (at the start and whenever the port changes); again only on a change.
    void serveControl();
    EngineControl* control() const { return control_.get(); }
    MeterConsole* console();
    QAction* consoleAction() const { return consoleAction_; }
    QAction* meterCommandsAction() const { return meterCommandsAction_; }
    // Publishing the readings to servers (publish_host.cpp): as the [Publish]
    // section says, under the meter's name, started anew on each call (at
    // the start, when the meter's name changes, after the dialog's OK).
    void startPublishing();
    EnginePublishing* publishing() const { return publishing_.get(); }
    QAction* publishAction() const { return publishAction_; }
    PublishDialog* publishDialog() const;

    // The displays' context menu (while a chart window is set).
    ChartDisplayMenu* displayMenu() const { return displayMenu_; }

    // The watcher that notices a lost port coming back (tests set its poll).
    PortReturnWatcher* portReturnWatcher() const { return portWatcher_; }

signals:
    // The window has agreed to close: the program ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createDisplays();
    void createFunctionButtons();
    void createLogControls();
    void createStatusBar();
    void configureComm();
    void connectHandlers();
    void setTabOrder();
    void storeCommand(const char* command, QPushButton* button);
    void saveLog(const QString& fileName);
    bool saveBeforeClosing();
    void showLineCount();
    void Comm1RequestHangup();
    void createAlarms();
    void createMath(); // main_window_math.cpp
    // Publishing (publish_host.cpp).
    void createPublishing();
    void startPublishing(const PublishConfig& config);
    // The last items out, the spool closed: another process may have it.
    void stopPublishing();
    void publishUnderMeterName();
    void showPublishing();
    void editPublishing();
    // The control interface (control_host.cpp).
    void createControl();
    void openConsole();
    // The meter's settings (meter_settings_cycle.cpp).
    void createAdvancedPage();
    void chooseFunction(const char* measure, const char* function, QPushButton* button);
    void meterSettingsChanged(const FunctionSettings& settings);
    void meterDisplayChanged(bool on);
    void meterAcquisitionChanged(bool fast);
    void meterSamplesChanged(int samples);
    // Keeps the meter settings of `function` (and the meter-wide ones).
    void storeMeterSettings(const std::string& function);
    void showAlarmColours(bool raised);
    // Whether a reading is due, for the silence alarms.
    void updateAlarmConnection();
    void stopWaitingForPort();
    // What the engine hands out (reply_display.cpp, meter_settings_cycle.cpp, reconnect.cpp).
    void commandSent(const std::string& command) override;
    void reading(const Reading& reading) override;
    void functionNamed(const std::string& function, const std::string& unit,
                       bool unitChanged) override;
    void functionNotNamed(const std::string& reply, bool rejected) override;
    void notAReading(const std::string& reply) override;
    void replyHandled() override;
    void replyDropped(size_t bytes) override;
    void meterErrors(const std::vector<MeterError>& errors) override;
    void errorQueueAnswered(const std::string& reply) override;
    void settingsQueued(const std::string& function) override;
    void inForce(const std::string& function, const InForce& inForce, bool complete) override;
    void inForceUnreadable(const std::string& query, const std::string& reply) override;
    void noAnswer(double sinceTimeOfDay) override;
    void silenceEnded() override;
    void stopped() override;
    void portLost() override;
    void reconnected() override;
    void reopenFailed(const std::exception& error) override;
    void identified(const std::string& identity) override;
    void replyTimedOut(const std::string& query) override;
    // The meter's line (meter_line.cpp): the resource of `portText`, its
    // profile, opening it with the reasons shown, the instrument panel.
    void useResource(const std::string& portText);
    // Opens a network resource's line; false (the box shown) when it cannot be had.
    bool openNetworkLine();
    const MeterProfile& chosenProfile() const;
    void showInstrument();
    QString lineName() const;
    void identifyClick();
    // Status bar (status_notes.cpp).
    void showNote(const QString& note);
    void showPortInUse();
    void composeStatusAfterDialog();
    void notePortNotOpen();
    void notePortLost();
    void notePortBack();
    void noteSpeedInForce();
    void noteSettingsStoredIn(const std::string& path);

    std::string settingsPathOverride_;
    std::string userSettingsPathOverride_;
    std::unique_ptr<SettingsStore> settingsFile_;
    QPointer<TForm2> Form2; // cleared if the chart goes first
    TForm3* Form3 = nullptr;
    QWidget* Form4 = nullptr;
    ChartDisplayMenu* displayMenu_ = nullptr;
    bool shownOnce_ = false;
    bool unsavedReadings_ = false;
    QString settingsNote_; // where a choice was kept, until the dialog has closed
    // Watches for a lost port to return.
    PortReturnWatcher* portWatcher_ = nullptr;
    // The serial component's line, or a socket's for a network resource.
    std::unique_ptr<ResourceLine> transport_;
    std::string portText_;    // the resource as the user wrote it
    std::string identity_;    // the meter's "*IDN?" answer, once asked
    ProfileCatalog profiles_; // built in, the package's and the user's files
    std::unique_ptr<AcquisitionEngine> engine_;
    // The control interface for scripts (control_host.cpp); gone before the engine.
    std::unique_ptr<EngineControl> control_;
    std::unique_ptr<ControlServer> controlServer_;
    QPointer<MeterConsole> console_;
    QAction* consoleAction_ = nullptr;
    QAction* meterCommandsAction_ = nullptr;
    std::string controlServed_; // what the server listens as: served again when it changes
    // Publishing (publish_host.cpp); gone before the engine.
    std::unique_ptr<EnginePublishing> publishing_;
    std::string publishedAs_; // the meter's name it publishes under
    QString publishProblem_;  // why it does not publish as the section says
    QPointer<PublishDialog> publishDialog_;
    QAction* publishAction_ = nullptr;
    // The math of the reading being handed out, for the listeners after the window.
    std::optional<RecordingMath> readingMath_;
    RecordingControl* recording_ = nullptr;
    QAction* recordAction_ = nullptr;
    MathControl* math_ = nullptr;
    AlarmControl* alarms_ = nullptr;
    QAction* alarmsAction_ = nullptr;
    QAction* acknowledgeAction_ = nullptr;
    QColor displayCellsColour_; // the displays' own, while no alarm is raised
    AdvancedPage* advancedPage_ = nullptr;
    std::string lostAt_;
};

} // namespace velmora
