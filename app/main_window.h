// TForm1: the main window with the polling cycle, reply display, reading log and start-up.
#pragma once

#include "app/reply_interpreter.h"
#include "measure/meter_settings.h"
#include "measure/meter_settings_store.h"

#include <QColor>
#include <QElapsedTimer>
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
class AlarmControl;
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
// handlers are named after them. Everything here runs on the main thread:
// timer ticks, clicks and the serial component's deliveries never overlap,
// so the cycle's state needs no lock.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    // `settingsPath` replaces the file beside the executable and `userSettingsPath`
    // the user's own file (tests, tools); with `settingsPath` given and no user
    // path, there is no user layer.
    explicit TForm1(QWidget* parent = nullptr, std::string settingsPath = {},
                    std::string userSettingsPath = {});
    ~TForm1() override;

    // The other windows, created after this one by the program entry.
    void setSettingsDialog(TForm3* dialog) { Form3 = dialog; }
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

    // The cycle's and the reply handler's state.
    const std::string& nextCommand() const { return nextCommand_; }
    uint8_t canSend() const { return canSend_; }
    const std::string& unitLabel() const { return replies_.unitLabel(); }
    int32_t readingCounter() const { return replies_.readingCounter(); }
    int32_t logInterval() const { return replies_.logInterval(); }
    SettingsStore* settingsFile() const { return settingsFile_.get(); }
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
    QLabel* statusRecording = nullptr; // the recording's indicator
    QLabel* statusAlarm = nullptr;     // the banner of raised alarms
    QTimer* Timer1 = nullptr;
    TComm* Comm1 = nullptr;
    QFileDialog* SaveDialog1 = nullptr;

    // Recording every reading to a file (menu of the displays, chart window).
    RecordingControl* recording() const { return recording_; }
    QAction* recordAction() const { return recordAction_; }
    // Alarms on the readings (menu of the displays, chart window).
    AlarmControl* alarms() const { return alarms_; }
    QAction* alarmsAction() const { return alarmsAction_; }
    QAction* acknowledgeAction() const { return acknowledgeAction_; }

    // The meter's settings on the "Advanced" page, and the commands and
    // queries waiting to go before the cycle's own next command.
    AdvancedPage* advancedPage() const { return advancedPage_; }
    const MeterSettings& meterSettings() const { return meterSettings_; }
    const std::deque<std::string>& queuedCommands() const { return queued_; }

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
    void noteSilence();
    void Comm1RequestHangup();
    void leaveCycleWithoutSending();
    void createAlarms();
    // The meter's settings (meter_settings_cycle.cpp).
    void createAdvancedPage();
    void chooseFunction(const char* measure, const char* function, QPushButton* button);
    void queueMeterSettings(const std::string& function, bool configure);
    bool sendQueuedCommand();
    void takeRoutedReply(const char* reply);
    void functionNamed(const std::string& function);
    void meterSettingsChanged(const FunctionSettings& settings);
    void meterDisplayChanged(bool on);
    void meterAcquisitionChanged(bool fast);
    void sendNextAtOnce();
    void meterSamplesChanged(int samples);
    // One reply (a reading, a function name, or junk) through the reply rules;
    // `spreadBack`: a burst's reading, taken that many seconds before.
    void takeReply(const char* reply, double receivedAt, std::optional<double> spreadBack);
    void takeBurst(const std::string& reply);
    void dropQueuedCommands();
    // One setting command, then the error queue read (no in-force queries).
    void queueSettingCommand(const std::string& command);
    // Keeps the meter settings of `function` (and the meter-wide ones).
    void storeMeterSettings(const std::string& function);
    // What every answer ends with: the cycle may send again.
    void replyHandled();
    void showAlarmColours(bool raised);
    // Whether a reading is due, for the silence alarms.
    void updateAlarmConnection();
    // Reconnecting by itself (reconnect.cpp).
    void waitForPortToReturn();
    void portSeenAgain();
    void stopWaitingForPort();
    // Status bar (status_notes.cpp).
    void showNote(const QString& note);
    void showPortInUse();
    void composeStatusAfterDialog();
    void notePortNotOpen();
    void notePortLost();
    void notePortBack();
    void noteSpeedInForce();
    void noteSettingsStoredIn(const std::string& path);

    std::string nextCommand_;
    uint8_t canSend_ = 0;
    ReplyInterpreter replies_;
    std::string settingsPathOverride_;
    std::string userSettingsPathOverride_;
    std::unique_ptr<SettingsStore> settingsFile_;
    QPointer<TForm2> Form2; // cleared if the chart goes first
    TForm3* Form3 = nullptr;
    QWidget* Form4 = nullptr;
    ChartDisplayMenu* displayMenu_ = nullptr;
    bool shownOnce_ = false;
    bool unsavedReadings_ = false;
    // When the outstanding query left, for the "meter does not answer" note.
    // A monotonic clock for the wait, the time of day for the note.
    QElapsedTimer queryClock_;
    double querySentTimeOfDay_ = 0;
    bool silenceNoted_ = false;
    QString settingsNote_; // where a choice was kept, until the dialog has closed
    // The lost port being waited for, and whether Connect is to be ticked
    // again when it is back; how long it has answered "busy" since it came.
    PortReturnWatcher* portWatcher_ = nullptr;
    RecordingControl* recording_ = nullptr;
    QAction* recordAction_ = nullptr;
    AlarmControl* alarms_ = nullptr;
    QAction* alarmsAction_ = nullptr;
    QAction* acknowledgeAction_ = nullptr;
    QColor displayCellsColour_; // the displays' own, while no alarm is raised
    AdvancedPage* advancedPage_ = nullptr;
    MeterSettings meterSettings_;
    // Sent one at a time before the cycle's next command; the reply to a
    // query among them goes to `takeRoutedReply`, told apart by the query.
    std::deque<std::string> queued_;
    std::optional<std::string> routedQuery_;
    std::string inForceFunction_;
    InForce inForce_;
    std::string configuredFunction_; // given its stored settings since connecting
    int errorReads_ = 0;
    QElapsedTimer burstClock_;    // since the last burst arrived
    bool measurePending_ = false; // a measure query sent, its function not yet named
    bool reconnectWanted_ = false;
    std::string lostAt_;
};

} // namespace velmora
