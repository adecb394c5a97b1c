// TForm1's polling cycle: which command goes to the meter next, and when.
#include "app/main_window.h"

#include "chart/chart_window.h"
#include "serial/comm.h"
#include "text/time_of_day.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

#include <string_view>

namespace velmora {

namespace {

// How long a query may stay unanswered before the status bar says so.
constexpr qint64 kSilenceNoteMilliseconds = 2000;

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

} // namespace

void TForm1::sendcommand(const std::string& command) {
    // One line, CR LF appended, no terminating zero; the count is 16-bit.
    // A port that is not open refuses it, and the command is lost.
    const std::string line = command + "\r\n";
    (void)Comm1->SendData(line.data(), static_cast<uint16_t>(line.size()));
    if (command.starts_with("Meas")) {
        measurePending_ = true; // its reply is of a function the meter has not named yet
    }
    if (Form2) {
        Form2->commandSent(command); // a measure query may change the unit
    }
}

void TForm1::Timer1Timer() {
    if (canSend_ != 1) {
        noteSilence();
        return;
    }
    // The meter's settings and their queries go first, one a tick.
    if (sendQueuedCommand()) {
        return;
    }
    sendcommand(nextCommand_);
    // The command just sent decides the next one, not the reply.
    if (EndsWith(nextCommand_, "?")) {
        nextCommand_ = nextCommand_.starts_with("Meas") ? "Func?" : "Read?";
        canSend_ = 0;
        queryClock_.start();
        querySentTimeOfDay_ = CurrentTimeOfDay();
        return;
    }
    if (EndsWith(nextCommand_, "loc")) {
        Timer1->stop();
        return;
    }
    if (EndsWith(nextCommand_, "rem")) {
        canSend_ = 1;
        pause(1000); // give the meter time to enter remote mode
        nextCommand_ = "Func?";
        return;
    }
    // A setting command gets no reply: go on at the next tick.
    nextCommand_ = "Read?";
    canSend_ = 1;
}

void TForm1::noteSilence() {
    // A lost port has its own note, which this one must not hide; and a
    // meter the user has disconnected from is not expected to answer.
    if (silenceNoted_ || !Comm1->PortOpen() || !Check_Connection->isChecked() ||
        !queryClock_.isValid() || queryClock_.elapsed() < kSilenceNoteMilliseconds) {
        return;
    }
    silenceNoted_ = true;
    showNote(QStringLiteral("The meter does not answer (since %1)")
                 .arg(QString::fromStdString(FormatTimeOfDay(querySentTimeOfDay_))));
}

void TForm1::Check_ConnectionClick() {
    if (Check_Connection->isChecked()) {
        // Ticked by hand, or again by the reconnect: no more waiting either way.
        stopWaitingForPort();
        if (!Comm1->PortOpen()) {
            // Nothing could reach the meter: undo the tick at once and say why.
            {
                const QSignalBlocker quiet(Check_Connection);
                Check_Connection->setChecked(false);
            }
            notePortNotOpen();
            return;
        }
        // The silence note times each connection afresh.
        queryClock_.invalidate();
        if (silenceNoted_) {
            silenceNoted_ = false;
            showNote({});
        }
        nextCommand_ = "syst:rem";
        dropQueuedCommands();
        configuredFunction_.clear(); // the meter may have been set by hand meanwhile
        CONF->setEnabled(false);
        pause(500);
        canSend_ = 1;
        PageControl1->setEnabled(true);
        Timer1->start();
        updateAlarmConnection();
    } else {
        PageControl1->setEnabled(false);
        CONF->setEnabled(true);
        nextCommand_ = "syst:loc"; // the step that sends it stops the timer
        dropQueuedCommands();
        configuredFunction_.clear();
        if (silenceNoted_) {
            silenceNoted_ = false; // disconnected, the meter owes no answer
            showNote({});
        }
        updateAlarmConnection();
    }
}

void TForm1::storeCommand(const char* command, QPushButton* button) {
    nextCommand_ = command;
    if (button) {
        button->setEnabled(false); // until the next reply
    }
}

void TForm1::DCV_BtnClick() {
    chooseFunction("Meas:Volt:Dc?", "VOLT", DCV_Btn);
}
void TForm1::ACV_BtnClick() {
    chooseFunction("Meas:Volt:AC?", "VOLT:AC", ACV_Btn);
}
void TForm1::OHM2_BtnClick() {
    chooseFunction("Meas:RES?", "RES", OHM2_Btn);
}
void TForm1::OHM4_BtnClick() {
    chooseFunction("Meas:FRES?", "FRES", OHM4_Btn);
}
void TForm1::DCI_BtnClick() {
    chooseFunction("Meas:Curr:DC?", "CURR", DCI_Btn);
}
void TForm1::ACI_BtnClick() {
    chooseFunction("Meas:Curr:AC?", "CURR:AC", ACI_Btn);
}
void TForm1::Freq_BtnClick() {
    chooseFunction("Meas:FREQ?", "FREQ", Freq_Btn);
}
void TForm1::period_BtnClick() {
    chooseFunction("Meas:PER?", "PER", period_Btn);
}
void TForm1::Diod_BtnClick() {
    chooseFunction("Meas:Diod?", "DIOD", Diod_Btn);
}
void TForm1::Cont_BtnClick() {
    chooseFunction("Meas:Cont?", "CONT", Cont_Btn);
}
void TForm1::Button2Click() {
    storeCommand("Volt:DC:RES Max", nullptr);
}
void TForm1::Button5Click() {
    storeCommand("RES:RES MAX", nullptr);
}
void TForm1::Button3Click() {
    storeCommand("INP:IMP:AUTO ON", nullptr);
}

void TForm1::Button3_SendClick() {
    sendcommand("func?");
}

void TForm1::keyenable() {
    for (QPushButton* button : {DCV_Btn, ACV_Btn, OHM2_Btn, OHM4_Btn, ACI_Btn, DCI_Btn, Freq_Btn,
                                Diod_Btn, period_Btn, Cont_Btn, Button3_Send}) {
        button->setEnabled(true);
    }
}

} // namespace velmora
