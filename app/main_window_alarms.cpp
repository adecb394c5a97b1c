// TForm1's alarms: the control created and wired to the recording, the chart and the displays.
#include "app/main_window.h"

#include "app/alarm_control.h"
#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "lcd/lcd_matrix.h"
#include "publish/engine_publishing.h"
#include "serial/comm.h"
#include "text/exception.h"
#include "ui/exception_report.h"

#include <QAction>
#include <QCheckBox>

namespace velmora {

namespace {

// Lit cells while an alarm is raised: the texts stay, their colour says it.
const QColor kAlarmCells(255, 40, 40);

} // namespace

void TForm1::createAlarms() {
    displayCellsColour_ = iLCDMatrix1->CellsColorOn();
    alarms_ = new AlarmControl(this, statusAlarm);
    alarms_->showNote = [this](const QString& note) { showNote(note); };
    alarms_->showProblem = [](const QString& problem) {
        ReportException(Exception(problem.toStdString()));
    };
    alarms_->onEvent = [this](const std::string& event) {
        recording_->event(event);
        if (publishing_) {
            publishing_->event(event);
            publishing_->alarmsChanged();
        }
        if (Form2) {
            Form2->markEvent(event, false); // the plot's hover tells the time
        }
    };
    alarms_->onRaisedChanged = [this](bool raised) { showAlarmColours(raised); };
    alarmsAction_ = new QAction(QStringLiteral("Alarms..."), this);
    connect(alarmsAction_, &QAction::triggered, this,
            [this] { RunReportingExceptions([this] { alarms_->edit(); }); });
    acknowledgeAction_ = new QAction(QStringLiteral("Acknowledge alarms"), this);
    acknowledgeAction_->setEnabled(false);
    connect(acknowledgeAction_, &QAction::triggered, this,
            [this] { RunReportingExceptions([this] { alarms_->acknowledgeAll(); }); });
}

void TForm1::showAlarmColours(bool raised) {
    for (TiLCDMatrix* display : {iLCDMatrix1, iLCDMatrix2}) {
        display->SetCellsColorOn(raised ? kAlarmCells : displayCellsColour_);
    }
    acknowledgeAction_->setEnabled(raised);
}

void TForm1::updateAlarmConnection() {
    // After a lost port the meter is still expected: a silence alarm goes on
    // counting while the program waits to connect again.
    alarms_->setConnected((Check_Connection->isChecked() && transport_->isOpen()) ||
                          engine_->reconnectWanted());
}

} // namespace velmora
