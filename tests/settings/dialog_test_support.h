// Helpers for the settings dialog tests: a counting port seam and a ready dialog.
#pragma once

#include "serial/comm.h"
#include "serial/port_io.h"
#include "settings/ini_file.h"
#include "settings/serial_settings_dialog.h"
#include "tests/settings/temp_folder.h"
#include "tests/ui/recording_boxes.h"
#include "tools/meter/pseudo_terminal.h"

#include <QString>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;

namespace velmora::test {

// The real system calls, with the opens and closes of the port itself recorded.
// Opens come from the main thread; the final close of a port from the
// component's closer thread.
class CountingIo : public SystemPortIo {
public:
    int Open(const char* path, int flags) override;
    int Close(int fd) override;

    std::vector<std::string> openedPaths; // every successful open of a port
    std::atomic<int> portCloses{0};
    // Waits until `count` closes of the port have been done.
    bool WaitForCloses(int count);

private:
    std::atomic<int> portFd_{-1};
};

// A dialog over a real component and settings file. The device folder stands in
// for /dev: "ttyS0", "ttyS1", "ttyS2" and "ttyS9" (Com1, Com2, Com3, Com10) lead to
// one pseudo-terminal. The component starts as the main window leaves it: port
// "Com1" at 9600 open, the settings file holding the same.
class DialogBench {
public:
    // `iniPath` empty: "velmora.ini" in the bench's folder.
    explicit DialogBench(const std::string& iniPath = "");
    ~DialogBench();

    QComboBox& PortBox() const;
    QComboBox& BaudBox() const;
    QPushButton& OkButton() const;
    // Shows the dialog (without waiting, as the modal loop would) and checks it loaded.
    void Show();
    void Click(); // presses OK with the mouse
    std::string IniBytes() const;

    TempFolder folder;
    std::string devices;
    PseudoTerminal pty;
    RecordingBoxes boxes;
    CountingIo io;
    TComm comm{nullptr, &io};
    std::unique_ptr<IniFile> ini;
    std::unique_ptr<TForm3> dialog;
};

// The default start: "[COM Info]" with Port=Com1 and baudrate=9600.
inline const char* const kStartIni = "[COM Info]\r\nPort=Com1\r\nbaudrate=9600\r\n";

} // namespace velmora::test
