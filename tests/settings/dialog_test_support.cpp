// Helpers for the settings dialog tests: a counting port seam and a ready dialog.
#include "tests/settings/dialog_test_support.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest/QTest>

#include <filesystem>

namespace velmora::test {

int CountingIo::Open(const char* path, int flags) {
    const int fd = SystemPortIo::Open(path, flags);
    if (fd >= 0) {
        openedPaths.emplace_back(path);
        portFd_ = fd;
    }
    return fd;
}

bool CountingIo::WaitForCloses(int count) {
    for (int i = 0; i < 1000 && portCloses < count; ++i) {
        QTest::qWait(10);
    }
    return portCloses == count;
}

int CountingIo::Close(int fd) {
    int port = fd;
    if (portFd_.compare_exchange_strong(port, -1)) {
        ++portCloses;
    }
    return SystemPortIo::Close(fd);
}

DialogBench::DialogBench(const std::string& iniPath)
    : devices(folder / "dev") {
    namespace fs = std::filesystem;
    fs::create_directory(devices);
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS9"}) {
        fs::create_symlink(pty.SlavePath(), devices + "/" + name);
    }
    const std::string path = iniPath.empty() ? folder / "velmora.ini" : iniPath;
    if (iniPath.empty()) {
        WriteBytes(path, kStartIni);
    }
    ini = std::make_unique<IniFile>(path);

    comm.SetDeviceFolder(devices);
    comm.SetCommName("Com1");
    comm.SetBaudRate(9600);
    comm.OpenPort();

    dialog = std::make_unique<TForm3>(comm, *ini);
    dialog->SetEmulatorLink(folder / "velmora-meter");
}

DialogBench::~DialogBench() {
    dialog.reset();
    comm.ClosePort();
}

QComboBox& DialogBench::PortBox() const {
    return *dialog->findChild<QComboBox*>(QStringLiteral("ComboBox1"));
}

QComboBox& DialogBench::BaudBox() const {
    return *dialog->findChild<QComboBox*>(QStringLiteral("ComboBox2"));
}

QPushButton& DialogBench::OkButton() const {
    return *dialog->findChild<QPushButton*>(QStringLiteral("Button1"));
}

void DialogBench::Show() {
    dialog->show();
    ASSERT_TRUE(dialog->isVisible());
}

void DialogBench::Click() {
    QTest::mouseClick(&OkButton(), Qt::LeftButton);
}

std::string DialogBench::IniBytes() const {
    return ReadBytes(ini->path()).value_or("<no file>");
}

} // namespace velmora::test
