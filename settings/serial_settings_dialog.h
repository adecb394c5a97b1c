// TForm3: the modal "Com Set" dialog in which the user picks the serial port and baud rate.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>
#include <string>

class QShowEvent;

namespace Ui {
class Form3;
}

namespace velmora {

class SettingsStore;
class TComm;

// Created once, hidden, by the main window, which lends it its serial component
// and settings file (both must outlive the dialog) and shows it modally. The
// dialog keeps no values of its own: each showing loads both boxes from the
// settings file, and OK hands them to the component and the file. The close box
// (and Escape) closes it without any change.
//
// Controls, found by object name: Label1, Label2, ComboBox1 (port), ComboBox2
// (baud rate), Button1 (OK; not a default button, so Enter never presses it),
// and beneath them Label3, MeterBox (the meter's profile) and IdentifyButton.
class TForm3 : public QDialog {
    Q_OBJECT

public:
    TForm3(TComm& comm, SettingsStore& settingsFile, QWidget* parent = nullptr);
    ~TForm3() override;

    // Runs each time the dialog is shown: ComboBox1's text := "Port", ComboBox2's
    // text := "baudrate" (section "COM Info", empty defaults), shown as stored; the
    // list selections are left alone.
    void FormShow();

    // OK. In this order: close the port; CommName := ComboBox1's text trimmed;
    // BaudRate := ComboBox2's text trimmed, as an integer; write both texts untrimmed
    // to "Port" and "baudrate"; mark the dialog closed; open the port, showing the
    // port open error box if that fails with ECommsError; the dialog then goes.
    // EConvertError (bad baud text) and EIniFileException (settings not written)
    // leave this function before the dialog is marked closed, so it stays open; the
    // button's slot hands them to ReportException.
    void Button1Click();

    // True when the dialog's last showing reconfigured the component: OK got
    // past the conversion and the settings writes (whether or not the port
    // then opened). False after the close box, Escape or a refused OK.
    bool PortReconfigured() const { return reconfigured_; }

    // The meter emulator's port, offered in the port list while it exists
    // (EmulatorLinkPath() unless set otherwise).
    void SetEmulatorLink(std::string path);

    // The Meter choice: the profiles' names, the first the default. The
    // choice is kept as [Meter] Profile= when OK is pressed; it decides the
    // command set on serial ports (a network meter's "*IDN?" decides there).
    void SetMeterChoices(const QStringList& models);
    // OK with a port text the serial component does not reach (a network
    // resource): the owner opens its line and says true; false lets the
    // dialog open the component as always.
    std::function<bool(const std::string& portText)> openLine;
    // "Identify": the owner asks the meter "*IDN?" once.
    std::function<void()> identify;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RefreshPortList();
    void ShowPortToolTip();

    std::unique_ptr<Ui::Form3> ui_;
    TComm& comm_;
    SettingsStore& settingsFile_;
    std::string emulatorLink_;
    bool reconfigured_ = false;
};

} // namespace velmora
