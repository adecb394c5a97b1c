// The port open error box, its reasons, the error report's text rule and the real boxes.
#include "tests/settings/temp_folder.h"
#include "tests/ui/recording_boxes.h"
#include "tools/meter/pseudo_terminal.h"
#include "ui/exception_report.h"
#include "ui/message_boxes.h"
#include "ui/plain_tooltip.h"
#include "ui/port_error_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

TEST(PlainToolTip, ShowsTheTextAsItIs) {
    const struct {
        QString text;
        QString read; // what the tooltip shows
    } rows[] = {
        {"<b>96</b>", "<b>96</b>"},
        {"R&D <i>rig</i>", "R&D <i>rig</i>"},
        {"Supply over 10 V\nClick to acknowledge", "Supply over 10 V\nClick to acknowledge"},
        {"&lt;", "&lt;"},
    };
    for (const auto& row : rows) {
        const QString tip = PlainToolTip(row.text);
        EXPECT_TRUE(Qt::mightBeRichText(tip)) << "read as markup, so escaping decides";
        QTextDocument shown;
        shown.setHtml(tip);
        EXPECT_EQ(shown.toPlainText(), row.read);
    }
    EXPECT_EQ(PlainToolTip(QString()), QString()) << "no text, no tooltip";
}

TEST(PortOpenError, TextKeepsItsBlanks) {
    EXPECT_EQ(PortOpenErrorText("Com7"), "Com7  Port open error, Set com port pls ");
    EXPECT_EQ(PortOpenErrorText(""), "  Port open error, Set com port pls ");
    EXPECT_EQ(PortOpenErrorText("/dev/serial/by-id/usb-\xC3\xA9"),
              QString::fromUtf8("/dev/serial/by-id/usb-\xC3\xA9  Port open error, Set com port "
                                "pls "));

    test::RecordingBoxes boxes;
    ShowPortOpenError(nullptr, "com1", "why");
    ASSERT_EQ(boxes.errors.size(), 1u);
    EXPECT_EQ(boxes.errors[0].title, "Error");
    EXPECT_EQ(boxes.errors[0].text, "com1  Port open error, Set com port pls ");
    EXPECT_EQ(boxes.errors[0].details, "why");
    EXPECT_TRUE(boxes.errors[0].centreOnScreen);
}

TEST(PortOpenError, ReasonPerSystemError) {
    struct Row {
        int error;
        const char* contains;
    };
    const Row rows[] = {
        {EACCES, "\"dialout\" group"}, {EPERM, "\"dialout\" group"},
        {EBUSY, "another program"},    {EWOULDBLOCK, "another program"},
        {ENOENT, "No such device"},    {ENODEV, "No such device"},
        {ENXIO, "No such device"},     {ENOTTY, "Not a serial port"},
        {EIO, "Input/output error"},   {EMFILE, "Too many open files"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.error);
        const QString reason = PortOpenErrorReason(row.error);
        EXPECT_TRUE(reason.contains(row.contains)) << reason.toStdString();
        EXPECT_TRUE(reason.endsWith('.'));
    }
    EXPECT_TRUE(PortOpenErrorReason(0).isEmpty());
}

TEST(PortOpenError, BusyReasonNamesTheHoldersOrTellsHowToFindThem) {
    EXPECT_EQ(PortBusyReason("/dev/ttyUSB0", {{812, "ModemManager"}}),
              "The port is busy: ModemManager (process 812) holds it.");
    EXPECT_EQ(PortBusyReason("/dev/ttyUSB0", {{812, "ModemManager"}, {90, "minicom"}}),
              "The port is busy: ModemManager (process 812), minicom (process 90) hold it.");
    const QString none = PortBusyReason("/dev/ttyACM1", {});
    EXPECT_TRUE(none.contains("ModemManager") && none.contains("brltty")) << none.toStdString();
    EXPECT_TRUE(none.contains("\"fuser -v /dev/ttyACM1\"")) << none.toStdString();
}

TEST(PortOpenError, ReasonFromALookAtTheDevice) {
    test::TempFolder folder;
    test::WriteBytes(folder / "plain", "");
    const ECommsError error("Error opening serial port");
    EXPECT_EQ(PortOpenErrorReason(error, folder / "gone"), PortOpenErrorReason(ENOENT));
    EXPECT_EQ(PortOpenErrorReason(error, folder / "plain"), PortOpenErrorReason(ENOTTY));
    EXPECT_EQ(PortOpenErrorReason(error, folder.path()), PortOpenErrorReason(ENOTTY));
    // A terminal that may be opened: nothing to tell from outside.
    PseudoTerminal pty;
    EXPECT_TRUE(PortOpenErrorReason(error, pty.SlavePath()).isEmpty());
    // One this user may read but not write (root may do either, whatever the bits).
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0400), 0);
        EXPECT_EQ(PortOpenErrorReason(error, pty.SlavePath()), PortOpenErrorReason(EACCES));
    }
}

TEST(ErrorReport, FullStopRule) {
    struct Row {
        std::string message;
        QString shown;
    };
    const Row rows[] = {
        {"'96OO' is not a valid integer value", "'96OO' is not a valid integer value."},
        {"Unable to write to /x/velmora.ini", "Unable to write to /x/velmora.ini."},
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(x)", "(x)"},
        {"a,", "a,"},
        {"a-", "a-"},
        {"ends /", "ends /."},
        {"Why?", "Why?."},
        {"0", "0."},
        {"trailing ", "trailing "},
        {"", ""},
        {"caf\xC3\xA9", QString::fromUtf8("caf\xC3\xA9.")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        EXPECT_EQ(ErrorReportText(std::runtime_error(row.message)), row.shown);
    }
}

TEST(ErrorReport, DefaultReporterShowsTheBoxAndGuardStopsEverything) {
    test::RecordingBoxes boxes;
    RunReportingExceptions([] { throw std::runtime_error("Unable to write to /x.ini"); });
    RunReportingExceptions([] { throw 42; });
    RunReportingExceptions([] {});
    ASSERT_EQ(boxes.errors.size(), 2u);
    EXPECT_EQ(boxes.errors[0].title, QCoreApplication::applicationName());
    EXPECT_EQ(boxes.errors[0].text, "Unable to write to /x.ini.");
    EXPECT_TRUE(boxes.errors[0].details.isEmpty());
    EXPECT_FALSE(boxes.errors[0].centreOnScreen);
    EXPECT_EQ(boxes.errors[1].text, "Unknown error.");

    // A reporter that fails itself is not allowed to take the program down.
    SetExceptionReporter([](const std::exception&) { throw std::logic_error("reporter"); });
    EXPECT_NO_THROW(RunReportingExceptions([] { throw std::runtime_error("x"); }));
    SetExceptionReporter(nullptr);
    RunReportingExceptions([] { throw std::runtime_error("back"); });
    ASSERT_EQ(boxes.errors.size(), 3u);
    EXPECT_EQ(boxes.errors[2].text, "back.");
}

// What the real box looked like while it was up.
struct SeenBox {
    bool found = false;
    QString title, text, informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int buttons = 0;
    QString buttonText;
    QRect frame;
    bool everyLabelPlain = true; // no label of the box reads its text as markup
};

// Shows a real error box and inspects it from inside its own modal loop.
SeenBox ShowRealErrorBox(QWidget* parent, const QString& details,
                         const std::string& port = "Com7") {
    SeenBox seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            return;
        }
        seen.found = true;
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.informative = box->informativeText();
        seen.icon = box->icon();
        seen.buttons = static_cast<int>(box->buttons().size());
        seen.buttonText = box->buttons().isEmpty() ? QString() : box->buttons()[0]->text();
        seen.frame = box->frameGeometry();
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            if (!label->text().isEmpty() && label->textFormat() != Qt::PlainText) {
                seen.everyLabelPlain = false;
            }
        }
        box->buttons().isEmpty() ? box->reject() : box->buttons()[0]->click();
    });
    SetMessageBoxes(nullptr);
    ShowPortOpenError(parent, port, details);
    return seen;
}

TEST(PortOpenError, RealBoxCentredOnTheScreen) {
    for (const QString& details : {QString(), PortOpenErrorReason(EACCES)}) {
        SCOPED_TRACE(details.toStdString());
        QWidget parent;
        parent.setGeometry(10, 10, 200, 100);
        parent.show();
        const SeenBox seen = ShowRealErrorBox(&parent, details);
        ASSERT_TRUE(seen.found) << "no modal box came up";
        EXPECT_EQ(seen.title, "Error");
        EXPECT_EQ(seen.text, "Com7  Port open error, Set com port pls ");
        EXPECT_EQ(seen.informative, details);
        EXPECT_EQ(seen.icon, QMessageBox::Critical);
        EXPECT_EQ(seen.buttons, 1);
        EXPECT_EQ(QString(seen.buttonText).remove('&'), "OK");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE((seen.frame.center() - screen.center()).manhattanLength(), 2)
            << "box at " << seen.frame.x() << "," << seen.frame.y() << " " << seen.frame.width()
            << "x" << seen.frame.height();
    }
}

TEST(PortOpenError, RealBoxShowsMarkupAsTyped) {
    QWidget parent;
    parent.show();
    const SeenBox seen = ShowRealErrorBox(&parent, QStringLiteral("<i>why</i>"), "<b>96</b>");
    ASSERT_TRUE(seen.found);
    EXPECT_TRUE(seen.everyLabelPlain);
    EXPECT_EQ(seen.text, "<b>96</b>  Port open error, Set com port pls ");
}

TEST(SaveQuestion, RealBoxOffersSaveDiscardCancelAndGivesTheOneChosen) {
    using Choice = MessageBoxes::SaveChoice;
    struct Row {
        const char* name;
        QMessageBox::StandardButton pressed; // NoButton: the box is closed with Escape
        Choice expected;
    };
    const Row rows[] = {
        {"save", QMessageBox::Save, Choice::Save},
        {"discard", QMessageBox::Discard, Choice::Discard},
        {"cancel", QMessageBox::Cancel, Choice::Cancel},
        {"escape", QMessageBox::NoButton, Choice::Cancel},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QWidget parent;
        parent.show();
        bool found = false;
        QMessageBox::StandardButtons offered;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            found = true;
            offered = box->standardButtons();
            defaultButton = box->standardButton(box->defaultButton());
            if (row.pressed == QMessageBox::NoButton) {
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(box, &escape);
            } else {
                box->button(row.pressed)->click();
            }
        });
        SetMessageBoxes(nullptr);
        const Choice choice = CurrentMessageBoxes().askSave(&parent, QStringLiteral("Velmora"),
                                                            QStringLiteral("Save?"));
        ASSERT_TRUE(found) << "no modal box came up";
        EXPECT_EQ(offered, QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        EXPECT_EQ(defaultButton, QMessageBox::Save);
        EXPECT_EQ(choice, row.expected);
    }
}

} // namespace
} // namespace velmora
