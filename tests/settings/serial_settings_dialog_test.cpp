// The "Com Set" dialog at work: loading, OK with good and bad input, the close box, failed opens.
#include "tests/settings/dialog_test_support.h"
#include "text/convert_error.h"
#include "ui/exception_report.h"
#include "ui/port_error_box.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::DialogBench;
using test::kStartIni;

// Types a text into an editable box as a user would, replacing what was there.
bool WaitUntilVisible(QWidget* widget) {
    for (int i = 0; i < 200 && !widget->isVisible(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return widget->isVisible();
}

void Type(QComboBox& box, const QString& text) {
    box.lineEdit()->selectAll();
    QTest::keyClick(box.lineEdit(), Qt::Key_Delete);
    QTest::keyClicks(box.lineEdit(), text);
    ASSERT_EQ(box.currentText(), text);
}

TEST(ComSetShow, LoadsBothTextsAsStoredEachTime) {
    DialogBench bench;
    test::WriteBytes(bench.ini->path(), "[com info]\r\nPORT = com1 \r\nBaudRate=\"19200\"\r\n");
    bench.PortBox().setCurrentIndex(4);
    bench.Show();
    // Lower case, blanks and quotes dropped by the reader; the list selection stays.
    EXPECT_EQ(bench.PortBox().currentText(), "com1");
    EXPECT_EQ(bench.BaudBox().currentText(), "19200");
    EXPECT_EQ(bench.PortBox().currentIndex(), 4);
    EXPECT_EQ(bench.BaudBox().currentIndex(), 0);

    bench.dialog->close();
    test::WriteBytes(bench.ini->path(), "[COM Info]\r\nPort=ttyUSB0\r\n");
    bench.Show();
    EXPECT_EQ(bench.PortBox().currentText(), "ttyUSB0");
    EXPECT_EQ(bench.BaudBox().currentText(), "");

    bench.dialog->close();
    fs::remove(bench.ini->path());
    bench.Show();
    EXPECT_EQ(bench.PortBox().currentText(), "");
    EXPECT_EQ(bench.BaudBox().currentText(), "");
    EXPECT_TRUE(bench.boxes.errors.empty());
}

TEST(ComSetShow, PortListFollowsTheDevicesPresent) {
    DialogBench bench;
    test::WriteBytes(bench.devices + "/ttyUSB1", "");
    fs::create_directories(bench.devices + "/serial/by-id");
    test::WriteBytes(bench.devices + "/serial/by-id/usb-Meter_Cable-if00-port0", "");
    fs::create_symlink(bench.pty.SlavePath(), bench.folder / "velmora-meter");
    bench.Show();
    QStringList items;
    for (int i = 0; i < bench.PortBox().count(); ++i) {
        items << bench.PortBox().itemText(i);
    }
    const QString byId =
        QString::fromStdString(bench.devices + "/serial/by-id/usb-Meter_Cable-if00-port0");
    const QString link = QString::fromStdString(bench.folder / "velmora-meter");
    EXPECT_EQ(items, QStringList({"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8",
                                  "Com9", "Com10", "ttyUSB1", byId, link}));

    // Unplugged adapter and stopped emulator: gone at the next showing, nothing doubled.
    bench.dialog->close();
    fs::remove(bench.devices + "/ttyUSB1");
    fs::remove(bench.folder / "velmora-meter");
    test::WriteBytes(bench.devices + "/ttyACM0", "");
    bench.Show();
    items.clear();
    for (int i = 0; i < bench.PortBox().count(); ++i) {
        items << bench.PortBox().itemText(i);
    }
    EXPECT_EQ(items, QStringList({"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8",
                                  "Com9", "Com10", "ttyACM0", byId}));
    EXPECT_EQ(bench.PortBox().currentText(), "Com1");
}

struct AcceptedRow {
    std::string name;
    QString portText;
    QString baudText;
    std::string commName; // the name handed to the component
    std::string device;   // the device it opened, in the bench's folder
    uint32_t baudRate;
    QString shownNextTime; // ComboBox1's text at the next showing
};

void PrintTo(const AcceptedRow& row, std::ostream* out) {
    *out << row.name;
}

const AcceptedRow kAcceptedRows[] = {
    {"ok_without_change", "Com1", "9600", "Com1", "ttyS0", 9600, "Com1"},
    {"blanks_around_port", "  Com2 ", "9600", "Com2", "ttyS1", 9600, "Com2"},
    {"blanks_around_baud", "Com3", " 4800 ", "Com3", "ttyS2", 4800, "Com3"},
    {"com10_as_is", "Com10", "9600", "Com10", "ttyS9", 9600, "Com10"},
    {"lower_case_name", "com3", "3200", "com3", "ttyS2", 3200, "com3"},
    {"rate_not_in_list", "Com1", "19200", "Com1", "ttyS0", 19200, "Com1"},
    {"hex_rate_parsed", "Com1", "$4B00", "Com1", "ttyS0", 19200, "Com1"},
};

class ComSetOk : public testing::TestWithParam<AcceptedRow> {};

TEST_P(ComSetOk, ReopensWithTheNewSettingsAndStoresTheTexts) {
    const AcceptedRow& row = GetParam();
    DialogBench bench;
    bench.Show();
    if (bench.PortBox().currentText() != row.portText) {
        Type(bench.PortBox(), row.portText);
    }
    if (bench.BaudBox().currentText() != row.baudText) {
        Type(bench.BaudBox(), row.baudText);
    }
    bench.Click();

    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_EQ(bench.dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(bench.boxes.errors.empty());
    // Closed once and opened again, even when nothing changed.
    EXPECT_TRUE(bench.io.WaitForCloses(1));
    ASSERT_EQ(bench.io.openedPaths.size(), 2u);
    EXPECT_EQ(bench.io.openedPaths[1], bench.devices + "/" + row.device);
    EXPECT_TRUE(bench.comm.PortOpen());
    EXPECT_EQ(bench.comm.CommName(), row.commName);
    EXPECT_EQ(bench.comm.BaudRate(), row.baudRate);
    EXPECT_EQ(bench.comm.AppliedLineSettings().value().ospeed, row.baudRate);
    // Stored as typed, blanks and all.
    EXPECT_EQ(bench.IniBytes(), "[COM Info]\r\nPort=" + row.portText.toStdString() +
                                    "\r\nbaudrate=" + row.baudText.toStdString() + "\r\n");

    bench.Show();
    EXPECT_EQ(bench.PortBox().currentText(), row.shownNextTime);
    EXPECT_EQ(bench.BaudBox().currentText(), row.baudText.trimmed());
}

INSTANTIATE_TEST_SUITE_P(Rows, ComSetOk, testing::ValuesIn(kAcceptedRows), test::RowName());

TEST(ComSetOk, ModalLoopEndsOnlyOnSuccess) {
    DialogBench bench;
    bool stayedAfterBadRate = false;
    QTimer::singleShot(0, [&] {
        Type(bench.BaudBox(), "96OO");
        bench.Click();
        stayedAfterBadRate = bench.dialog->isVisible();
        Type(bench.BaudBox(), "4800");
        bench.Click();
    });
    EXPECT_EQ(bench.dialog->exec(), QDialog::Rejected);
    EXPECT_TRUE(stayedAfterBadRate);
    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_TRUE(bench.comm.PortOpen());
    EXPECT_EQ(bench.comm.BaudRate(), 4800u);
    EXPECT_EQ(bench.boxes.errors.size(), 1u);
}

TEST(ComSetOk, WorksWithThePortClosedBefore) {
    DialogBench bench;
    bench.comm.ClosePort();
    bench.Show();
    bench.Click();
    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_TRUE(bench.comm.PortOpen());
    EXPECT_EQ(bench.io.openedPaths.size(), 2u);
    EXPECT_TRUE(bench.io.WaitForCloses(1));
}

struct BadBaudRow {
    std::string name;
    QString baudText;
    QString reported;
};

void PrintTo(const BadBaudRow& row, std::ostream* out) {
    *out << row.name;
}

const BadBaudRow kBadBaudRows[] = {
    {"letter_o_for_zero", "96OO", "'96OO' is not a valid integer value."},
    {"blanks_trimmed_in_message", "  96OO ", "'96OO' is not a valid integer value."},
    {"empty", "", "'' is not a valid integer value."},
    {"blanks_only", "   ", "'' is not a valid integer value."},
    {"decimal_point", "9600.0", "'9600.0' is not a valid integer value."},
    {"too_large", "4294967296", "'4294967296' is not a valid integer value."},
};

class ComSetBadBaud : public testing::TestWithParam<BadBaudRow> {};

TEST_P(ComSetBadBaud, ReportedAndTheDialogStaysOpen) {
    const BadBaudRow& row = GetParam();
    DialogBench bench;
    bench.Show();
    Type(bench.PortBox(), " Com2 ");
    Type(bench.BaudBox(), row.baudText);
    bench.Click();

    ASSERT_EQ(bench.boxes.errors.size(), 1u);
    const test::ShownError& shown = bench.boxes.errors[0];
    EXPECT_EQ(shown.title, "Velmora");
    EXPECT_EQ(shown.text, row.reported);
    EXPECT_FALSE(shown.centreOnScreen);
    EXPECT_TRUE(bench.dialog->isVisible());
    // Steps 1 and 2 ran, nothing after them.
    EXPECT_FALSE(bench.comm.PortOpen());
    EXPECT_TRUE(bench.io.WaitForCloses(1));
    EXPECT_EQ(bench.io.openedPaths.size(), 1u);
    EXPECT_EQ(bench.comm.CommName(), "Com2");
    EXPECT_EQ(bench.comm.BaudRate(), 9600u);
    EXPECT_EQ(bench.IniBytes(), kStartIni);
    // The texts are still there to be corrected; a second try succeeds.
    EXPECT_EQ(bench.BaudBox().currentText(), row.baudText);
    Type(bench.BaudBox(), "4800");
    bench.Click();
    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_TRUE(bench.comm.PortOpen());
    EXPECT_EQ(bench.comm.BaudRate(), 4800u);
    EXPECT_EQ(bench.IniBytes(), "[COM Info]\r\nPort= Com2 \r\nbaudrate=4800\r\n");
    EXPECT_EQ(bench.boxes.errors.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Rows, ComSetBadBaud, testing::ValuesIn(kBadBaudRows), test::RowName());

TEST(ComSetClose, CloseBoxChangesNothing) {
    DialogBench bench;
    bench.Show();
    Type(bench.PortBox(), "Com3");
    Type(bench.BaudBox(), "4800");
    bench.dialog->close();

    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_TRUE(bench.comm.PortOpen());
    EXPECT_EQ(bench.io.openedPaths.size(), 1u);
    EXPECT_EQ(bench.io.portCloses, 0);
    EXPECT_EQ(bench.comm.CommName(), "Com1");
    EXPECT_EQ(bench.comm.BaudRate(), 9600u);
    EXPECT_EQ(bench.IniBytes(), kStartIni);
    EXPECT_TRUE(bench.boxes.errors.empty());

    bench.Show();
    EXPECT_EQ(bench.PortBox().currentText(), "Com1");
    EXPECT_EQ(bench.BaudBox().currentText(), "9600");
}

TEST(ComSetClose, EnterAndEscapeInTheBoxes) {
    DialogBench bench;
    bench.Show();
    Type(bench.PortBox(), "Com3");
    for (QComboBox* box : {&bench.PortBox(), &bench.BaudBox()}) {
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(box->lineEdit(), key);
            EXPECT_TRUE(bench.dialog->isVisible()) << box->objectName().toStdString();
        }
    }
    // Enter neither pressed OK nor added the typed text to the list.
    EXPECT_EQ(bench.io.openedPaths.size(), 1u);
    EXPECT_EQ(bench.comm.CommName(), "Com1");
    EXPECT_EQ(bench.IniBytes(), kStartIni);
    EXPECT_EQ(bench.PortBox().count(), 10);
    EXPECT_EQ(bench.BaudBox().count(), 3);
    // Escape closes it like the close box: nothing changes.
    QTest::keyClick(bench.BaudBox().lineEdit(), Qt::Key_Escape);
    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_EQ(bench.io.openedPaths.size(), 1u);
    EXPECT_EQ(bench.IniBytes(), kStartIni);
}

TEST(ComSetPortBox, LongStableNamesFitThePopupAndTheToolTipNamesTheDevice) {
    DialogBench bench;
    const std::string byId = bench.devices + "/serial/by-id";
    std::filesystem::create_directories(byId);
    test::WriteBytes(bench.devices + "/ttyUSB0", "");
    const std::string stable = byId + "/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    std::filesystem::create_symlink("../../ttyUSB0", stable);
    bench.Show();
    EXPECT_EQ(bench.PortBox().geometry(), QRect(72, 24, 65, 21)) << "the designed place";

    bench.PortBox().showPopup();
    QWidget* popup = bench.PortBox().view()->window();
    ASSERT_TRUE(WaitUntilVisible(popup));
    const int widest =
        bench.PortBox().view()->fontMetrics().horizontalAdvance(QString::fromStdString(stable));
    EXPECT_GE(bench.PortBox().view()->viewport()->width(), widest) << "the long name is cut";
    bench.PortBox().hidePopup();

    const struct {
        QString typed;
        std::vector<std::string> shown; // in the tooltip, in order
        QString seen;                   // the tooltip as the user reads it
    } rows[] = {
        {"Com1",
         {"Com1", bench.devices + "/ttyS0"},
         QString::fromStdString("Com1\n\u2192 " + bench.devices + "/ttyS0\n\u2192 " +
                                std::filesystem::canonical(bench.devices + "/ttyS0").string())},
        {QString::fromStdString(stable),
         {stable, bench.devices + "/ttyUSB0"},
         QString::fromStdString(stable + "\n\u2192 " + bench.devices + "/ttyUSB0")},
        {"<b>x", {"&lt;b&gt;x"}, QString::fromStdString("<b>x\n\u2192 " + bench.devices + "/<b>x")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.typed.toStdString());
        Type(bench.PortBox(), row.typed);
        const std::string tip = bench.PortBox().toolTip().toStdString();
        size_t at = 0;
        for (const std::string& part : row.shown) {
            at = tip.find(part, at);
            EXPECT_NE(at, std::string::npos) << part << " missing from " << tip;
        }
        QTextDocument shownAs;
        shownAs.setHtml(bench.PortBox().toolTip());
        EXPECT_EQ(shownAs.toPlainText().toStdString(), row.seen.toStdString());
    }
}

TEST(ComSetPortBox, ToolTipNamesTheDeviceTheNameLeadsToEachTimeTheDialogShows) {
    DialogBench bench;
    const auto shownTip = [&bench] {
        QTextDocument shownAs;
        shownAs.setHtml(bench.PortBox().toolTip());
        return shownAs.toPlainText().toStdString();
    };
    const std::string ttyS0 = bench.devices + "/ttyS0";
    bench.Show();
    EXPECT_EQ(shownTip(), "Com1\n\u2192 " + ttyS0 + "\n\u2192 " + bench.pty.SlavePath());

    // The same stored name, but its device is another one now.
    bench.dialog->hide();
    test::WriteBytes(bench.devices + "/ttyUSB3", "");
    fs::remove(ttyS0);
    fs::create_symlink("ttyUSB3", ttyS0);
    bench.Show();
    EXPECT_EQ(shownTip(), "Com1\n\u2192 " + ttyS0 + "\n\u2192 " +
                              fs::canonical(bench.devices + "/ttyUSB3").string());
}

struct FailedOpenRow {
    std::string name;
    QString portText;
    const char* makeDevice; // a regular file by this name in the device folder, or null
    int expectedReason;     // errno whose explanation is the box's secondary text
    std::string device;     // the device tried; "<dev>/" stands for the bench's folder
};

void PrintTo(const FailedOpenRow& row, std::ostream* out) {
    *out << row.name;
}

const FailedOpenRow kFailedOpenRows[] = {
    {"no_such_port", "Com7", nullptr, ENOENT, "<dev>/ttyS6"},
    {"no_such_path", "/no/such/tty", nullptr, ENOENT, "/no/such/tty"},
    {"not_a_terminal", "Com6", "ttyS5", ENOTTY, "<dev>/ttyS5"},
    {"name_in_folder", "ttyUSB4", nullptr, ENOENT, "<dev>/ttyUSB4"},
};

class ComSetFailedOpen : public testing::TestWithParam<FailedOpenRow> {};

TEST_P(ComSetFailedOpen, ShowsThePortErrorBoxThenCloses) {
    const FailedOpenRow& row = GetParam();
    DialogBench bench;
    if (row.makeDevice) {
        test::WriteBytes(bench.devices + "/" + row.makeDevice, "");
    }
    bench.Show();
    Type(bench.PortBox(), row.portText);
    Type(bench.BaudBox(), "4800");
    bench.Click();

    ASSERT_EQ(bench.boxes.errors.size(), 1u);
    const test::ShownError& shown = bench.boxes.errors[0];
    EXPECT_EQ(shown.title, "Error");
    EXPECT_EQ(shown.text, row.portText + "  Port open error, Set com port pls ");
    std::string device = row.device;
    if (device.starts_with("<dev>/")) {
        device = bench.devices + device.substr(5);
    }
    EXPECT_EQ(shown.details, QStringLiteral("Device tried: ") + QString::fromStdString(device) +
                                 QLatin1Char('\n') + PortOpenErrorReason(row.expectedReason));
    EXPECT_TRUE(shown.centreOnScreen);
    EXPECT_TRUE(shown.parentVisible) << "the box must stand over the dialog";

    EXPECT_FALSE(bench.dialog->isVisible());
    EXPECT_FALSE(bench.comm.PortOpen());
    EXPECT_EQ(bench.comm.CommName(), row.portText.toStdString());
    EXPECT_EQ(bench.comm.BaudRate(), 4800u);
    EXPECT_EQ(bench.IniBytes(),
              "[COM Info]\r\nPort=" + row.portText.toStdString() + "\r\nbaudrate=4800\r\n");
}

INSTANTIATE_TEST_SUITE_P(Rows, ComSetFailedOpen, testing::ValuesIn(kFailedOpenRows),
                         test::RowName());

TEST(ComSetFailedOpen, PortHeldByAnotherComponent) {
    DialogBench bench;
    TComm other;
    other.SetDeviceFolder(bench.devices);
    other.SetCommName("Com3");
    bench.Show();
    bench.comm.ClosePort();
    other.OpenPort(); // the same pseudo-terminal under another name
    bench.Click();
    ASSERT_EQ(bench.boxes.errors.size(), 1u);
    EXPECT_EQ(bench.boxes.errors[0].text, "Com1  Port open error, Set com port pls ");
    // The holder is this very program, which is never named: the box says how
    // to find out instead.
    const std::string details = bench.boxes.errors[0].details.toStdString();
    EXPECT_NE(details.find("The port is busy"), std::string::npos) << details;
    EXPECT_NE(details.find("\"fuser -v " + bench.devices + "/ttyS0\""), std::string::npos)
        << details;
    EXPECT_FALSE(bench.comm.PortOpen());
    EXPECT_FALSE(bench.dialog->isVisible());
    other.ClosePort();
}

struct WriteFailureRow {
    std::string name;
    std::string iniPath; // relative to the bench's folder
    bool folderIsFile;
};

TEST(ComSetWriteFailure, ReportedAndTheDialogStaysOpen) {
    const WriteFailureRow rows[] = {
        {"folder_missing", "missing/velmora.ini", false},
        {"folder_is_a_file", "plain/velmora.ini", true},
    };
    for (const WriteFailureRow& row : rows) {
        SCOPED_TRACE(row.name);
        test::TempFolder place;
        const std::string iniPath = place / row.iniPath;
        if (row.folderIsFile) {
            test::WriteBytes(place / "plain", "");
        }
        DialogBench bench(iniPath);
        bench.Show();
        Type(bench.PortBox(), "Com3");
        Type(bench.BaudBox(), "4800");
        bench.Click();

        ASSERT_EQ(bench.boxes.errors.size(), 1u);
        EXPECT_EQ(bench.boxes.errors[0].text,
                  QString::fromStdString("Unable to write to " + iniPath + "."));
        EXPECT_EQ(bench.boxes.errors[0].title, "Velmora");
        EXPECT_TRUE(bench.dialog->isVisible());
        EXPECT_FALSE(bench.comm.PortOpen());
        EXPECT_EQ(bench.io.openedPaths.size(), 1u);
        EXPECT_EQ(bench.comm.CommName(), "Com3");
        EXPECT_EQ(bench.comm.BaudRate(), 4800u);
    }
}

TEST(ComSetReporter, InstalledReporterGetsTheException) {
    DialogBench bench;
    std::vector<std::string> reported;
    SetExceptionReporter([&](const std::exception& error) { reported.push_back(error.what()); });
    bench.Show();
    Type(bench.BaudBox(), "x");
    bench.Click();
    SetExceptionReporter(nullptr);
    EXPECT_EQ(reported, std::vector<std::string>{"'x' is not a valid integer value"});
    EXPECT_TRUE(bench.boxes.errors.empty());
    EXPECT_TRUE(bench.dialog->isVisible());
}

TEST(ComSetReporter, HandlerCalledDirectlyLetsErrorsThrough) {
    DialogBench bench;
    bench.Show();
    Type(bench.BaudBox(), "96OO");
    EXPECT_THROW(bench.dialog->Button1Click(), EConvertError);
    EXPECT_TRUE(bench.dialog->isVisible());
    EXPECT_TRUE(bench.boxes.errors.empty());
}

} // namespace
} // namespace velmora
