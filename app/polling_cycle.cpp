// TForm1's polling controls: Connect, the function buttons and the timer, handed to the engine.
#include "app/main_window.h"

#include "app/recording_control.h"
#include "chart/chart_window.h"
#include "serial/comm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>

namespace velmora {

void TForm1::sendcommand(const std::string& command) {
    engine_->sendcommand(command);
}

void TForm1::commandSent(const std::string& command) {
    if (Form2) {
        Form2->commandSent(command); // a measure query may change the unit
    }
}

void TForm1::Timer1Timer() {
    engine_->tick();
}

void TForm1::stopped() {
    Timer1->stop(); // local mode went out
}

void TForm1::Check_ConnectionClick() {
    if (Check_Connection->isChecked()) {
        // Ticked by hand, or again by the reconnect: no more waiting either way.
        stopWaitingForPort();
        if (!transport_->isOpen()) {
            // Nothing could reach the meter: undo the tick at once and say why.
            {
                const QSignalBlocker quiet(Check_Connection);
                Check_Connection->setChecked(false);
            }
            notePortNotOpen();
            return;
        }
        recording_->event("meter " + meterName()); // which meter the rows that follow are from
        CONF->setEnabled(false);
        engine_->connect(); // with its settling pause, blocking here
        PageControl1->setEnabled(true);
        Timer1->start();
        updateAlarmConnection();
    } else {
        PageControl1->setEnabled(false);
        CONF->setEnabled(true);
        engine_->disconnect(); // the tick that sends local mode stops the timer
        updateAlarmConnection();
    }
}

void TForm1::storeCommand(const char* command, QPushButton* button) {
    engine_->storeCommand(command);
    if (button) {
        button->setEnabled(false); // until the next reply
    }
}

void TForm1::chooseFunction(const char* measure, const char* function, QPushButton* button) {
    button->setEnabled(false); // until the next reply
    engine_->chooseFunction(measure, function);
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
