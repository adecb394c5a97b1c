// Alarms on the main window: the monitor fed with readings, the banner, and the actions.
#pragma once

#include "alarms/alarm_monitor.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QWidget;

namespace velmora {

class SettingsStore;

// Feeds the alarm rules with every reading (with the meter's own function
// name), the connection and a 100 ms look at the silence; shows a banner in
// the status bar while any alarm is raised (red until acknowledged: a click
// on it, or "Acknowledge alarms" in the displays' menu); and does what each
// alarm asks: a sound, a desktop notification, a program with the value, the
// unit and the name as its three arguments. Each raise, clear and
// acknowledge is handed on as an event ("alarm raised NAME") for the
// recording and the chart. Main thread only.
class AlarmControl : public QObject {
public:
    AlarmControl(QWidget* window, QLabel* banner);

    // Reads the alarms from the settings file's own section; a section that
    // does not read is reported once (through `showProblem`) and ignored.
    void load(SettingsStore* settings);
    // The editor's result: in force at once, kept in the settings file.
    void apply(std::vector<AlarmDefinition> alarms);
    const std::vector<AlarmDefinition>& alarms() const { return monitor_.definitions(); }
    const AlarmMonitor& monitor() const { return monitor_; }

    // A reading of the meter's `function` ("" while it has not been named
    // since a measure query), shown with `unit`.
    void reading(const std::string& function, long double value, const std::string& unit,
                 std::optional<double> derived = std::nullopt);
    // Whether a reading is due: Connect ticked, or waiting to tick it again
    // after the port was lost.
    void setConnected(bool on);
    void acknowledgeAll();
    // Opens the editor (through `editAlarms`), then applies what it gave.
    void edit();

    // Seams: the clock (seconds, monotonic), the actions, the editor
    // (nothing: cancelled), and where the reports go.
    std::function<double()> clock;
    std::function<void()> beep;
    std::function<bool(const QString& summary, const QString& body)> notify;
    std::function<bool(const QString& program, const QStringList& arguments, QString* whyNot)>
        startProgram;
    std::function<std::optional<std::vector<AlarmDefinition>>(const std::vector<AlarmDefinition>&)>
        editAlarms;
    std::function<void(const QString&)> showNote;
    std::function<void(const QString&)> showProblem;
    // "alarm raised Over 5 V", "alarm cleared ...", "alarm acknowledged ...".
    std::function<void(const std::string& event)> onEvent;
    // Any alarm raised, or none any more (the displays turn red while one is).
    std::function<void(bool raised)> onRaisedChanged;

private:
    void handle(const std::vector<AlarmEvent>& events);
    void showBanner();
    bool eventFilter(QObject* watched, QEvent* event) override;

    QWidget* window_;
    QLabel* banner_;
    SettingsStore* settings_ = nullptr;
    AlarmMonitor monitor_;
    QTimer silenceCheck_;
    QElapsedTimer started_;
    bool connected_ = false;
    bool anyRaised_ = false;
    // What the banner says of each raised alarm ("Over 5 V: 5.2 V DC at 12:01:03").
    std::vector<QString> details_;
    std::string lastUnit_;
};

} // namespace velmora
