// The main window's layout at start: every control's place, size, caption and state.
#include "tests/app/app_test_support.h"

#include "app/reading_log_box.h"
#include "lcd/lcd_matrix.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

struct ControlRow {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* caption; // nullptr: no caption to check
    bool hidden;
};

const std::vector<ControlRow> kControls = {
    {"Panel2", "Form1", {24, 0, 417, 113}, nullptr, false},
    {"iLCDMatrix1", "Panel2", {0, 0, 425, 89}, nullptr, false},
    {"iLCDMatrix2", "Panel2", {0, 48, 425, 89}, nullptr, false},
    {"Check_Connection", "Form1", {24, 120, 97, 25}, "Connect", false},
    {"CONF", "Form1", {128, 120, 75, 25}, "COM SET", false},
    {"PageControl1", "Form1", {16, 160, 305, 265}, nullptr, false},
    {"Panel1", "TabSheet1", {0, 12, 305, 233}, nullptr, false},
    {"DCV_Btn", "Panel1", {24, 8, 65, 33}, "DC V", false},
    {"ACV_Btn", "Panel1", {120, 8, 65, 33}, "AC V", false},
    {"OHM2_Btn", "Panel1", {24, 64, 65, 33}, "Ω-2W", false},
    {"OHM4_Btn", "Panel1", {120, 64, 65, 33}, "Ω-4W", false},
    {"DCI_Btn", "Panel1", {24, 120, 65, 33}, "DC-I", false},
    {"ACI_Btn", "Panel1", {120, 120, 65, 33}, "AC-I", false},
    {"Cont_Btn", "Panel1", {216, 120, 65, 33}, "Cont", false},
    {"Freq_Btn", "Panel1", {24, 176, 65, 33}, "Freq", false},
    {"period_Btn", "Panel1", {120, 176, 65, 33}, "Period", false},
    {"Diod_Btn", "Panel1", {216, 176, 65, 33}, "Diod", false},
    {"Button2", "TabSheet2", {30, 32, 75, 25}, "DC V High", true},
    {"Button5", "TabSheet2", {160, 32, 75, 25}, "OHM High", true},
    {"Button3", "TabSheet2", {32, 80, 75, 25}, "IMP", true},
    {"Image1", "Form1", {456, 32, 137, 57}, nullptr, false},
    {"Button3_Send", "Form1", {472, 88, 65, 33}, "Send", true},
    {"Label4", "Form1", {472, 128, 80, 19}, "INTERVAL", false},
    {"COMBOX_INTERVAL", "Form1", {560, 128, 41, 24}, nullptr, false},
    {"Memo1", "Form1", {336, 120, 113, 33}, nullptr, true},
    {"Memo2", "Form1", {336, 160, 265, 233}, nullptr, false},
    {"ClearBtn", "Form1", {336, 400, 75, 25}, "Clear", false},
    {"Button1", "Form1", {432, 400, 75, 25}, "Save", false},
    {"Button4", "Form1", {536, 400, 75, 25}, "Exit", false},
    {"StatusBar1", "Form1", {0, 435, 621, 25}, nullptr, false},
};

QString Caption(const QWidget* widget) {
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        return button->text();
    }
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return label->text();
    }
    return {};
}

TEST(MainWindowLayout, EveryControlStandsWhereItShould) {
    WindowOnMeter window;
    TForm1& form = window.form();
    EXPECT_EQ(form.size(), QSize(621, 460));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Velmora Controller V0.2 By Tarquel"));
    for (const ControlRow& row : kControls) {
        SCOPED_TRACE(row.name);
        const auto* widget = form.findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName(), QString::fromLatin1(row.parent));
        EXPECT_EQ(widget->geometry(), row.geometry);
        EXPECT_EQ(widget->isHidden(), row.hidden);
        if (row.caption) {
            EXPECT_EQ(Caption(widget), QString::fromUtf8(row.caption));
        }
    }
}

TEST(MainWindowLayout, FontsAsDesigned) {
    // The window's 13-pixel face; F1 bold 15 px; F2 bold 13 px; F3 19 px; F4 bold 19 px;
    // the interval box 16 px.
    const struct {
        const char* name;
        int pixels;
        bool bold;
    } rows[] = {
        {"Form1", 13, false},           {"CONF", 13, false},
        {"DCV_Btn", 15, true},          {"Cont_Btn", 13, true},
        {"period_Btn", 13, true},       {"Label4", 19, false},
        {"Check_Connection", 19, true}, {"COMBOX_INTERVAL", 16, false},
    };
    WindowOnMeter window;
    TForm1& form = window.form();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QWidget* widget = form.objectName() == QLatin1String(row.name)
                                    ? &form
                                    : form.findChild<QWidget*>(QString::fromLatin1(row.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->font().pixelSize(), row.pixels);
        EXPECT_EQ(widget->font().bold(), row.bold);
    }
}

TEST(MainWindowLayout, StartStateIsIdle) {
    WindowOnMeter window;
    TForm1& form = window.form();
    EXPECT_FALSE(form.Check_Connection->isChecked());
    EXPECT_FALSE(form.PageControl1->isEnabled());
    EXPECT_TRUE(form.CONF->isEnabled());
    EXPECT_EQ(form.PageControl1->currentWidget(), form.TabSheet1);
    EXPECT_EQ(form.PageControl1->tabText(0), QStringLiteral("Basic"));
    EXPECT_EQ(form.PageControl1->tabText(1), QStringLiteral("Advanced"));
    EXPECT_FALSE(form.Timer1->isActive());
    EXPECT_EQ(form.Timer1->interval(), 50);
    EXPECT_EQ(form.canSend(), 1);
    EXPECT_TRUE(form.iLCDMatrix1->Text().empty());
    EXPECT_TRUE(form.iLCDMatrix2->Text().empty());
    EXPECT_EQ(form.Memo2->toPlainText(), QStringLiteral("No.,Function,Value,Time\n"));
    EXPECT_EQ(form.COMBOX_INTERVAL->currentText(), QStringLiteral("0"));
    QStringList items;
    for (int i = 0; i < form.COMBOX_INTERVAL->count(); ++i) {
        items << form.COMBOX_INTERVAL->itemText(i);
    }
    EXPECT_EQ(items.join(','), QStringLiteral("0,1,2,5,10,20,50,100"));
}

TEST(MainWindowLayout, EveryIntervalFitsItsBoxInFull) {
    WindowOnMeter window;
    TForm1& form = window.form();
    form.show();
    EXPECT_EQ(form.COMBOX_INTERVAL->geometry(), QRect(560, 128, 41, 24)) << "the designed place";
    QLineEdit* field = form.COMBOX_INTERVAL->lineEdit();
    ASSERT_NE(field, nullptr);
    // A line edit keeps 2 pixels free on each side of its text.
    const QMargins margins = field->textMargins();
    const int room = field->width() - 4 - margins.left() - margins.right();
    for (int i = 0; i < form.COMBOX_INTERVAL->count(); ++i) {
        const QString item = form.COMBOX_INTERVAL->itemText(i);
        EXPECT_GE(room, field->fontMetrics().horizontalAdvance(item))
            << item.toStdString() << " is cut off: " << room << " px for "
            << field->fontMetrics().horizontalAdvance(item) << " (field " << field->width()
            << ", style " << form.COMBOX_INTERVAL->style()->name().toStdString() << ")";
    }
}

// Presses a key where the keyboard focus is, as the user would: with the
// text the keyboard gives it, so a text box would type it.
void PressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr) << "nothing has the focus";
    const QString text = QStringLiteral("\t");
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(target, &release);
}

// True when the focus rests on `control` or on one of its inner parts (the
// combo box's edit field, the tab control's bar).
bool FocusOn(QWidget* control) {
    QWidget* focus = QApplication::focusWidget();
    return focus == control || (focus && control->isAncestorOf(focus));
}

std::string FocusName() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName().toStdString() + " (" + focus->metaObject()->className() + ")"
                 : "nothing";
}

class KeyboardWalk : public ::testing::Test {
protected:
    void SetUp() override {
        form().show();
        form().activateWindow();
        ASSERT_TRUE(WaitUntil([&] { return form().isActiveWindow(); }));
        form().Memo2->setFocus();
        ASSERT_TRUE(WaitUntil([&] { return FocusOn(form().Memo2); }));
    }
    TForm1& form() { return window.form(); }

    // Tab from the log box through `stops` and back to the log box; then
    // Shift+Tab the same way backwards. The log keeps its text.
    void walk(const std::vector<QWidget*>& stops) {
        const QString log = form().Memo2->toPlainText();
        std::vector<QWidget*> cycle = stops;
        cycle.push_back(form().Memo2);
        for (QWidget* expected : cycle) {
            PressKey(Qt::Key_Tab);
            EXPECT_TRUE(FocusOn(expected)) << "Tab gave the focus to " << FocusName() << ", not "
                                           << expected->objectName().toStdString();
        }
        for (auto it = cycle.rbegin() + 1; it != cycle.rend(); ++it) {
            PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
            EXPECT_TRUE(FocusOn(*it)) << "Shift+Tab gave the focus to " << FocusName() << ", not "
                                      << (*it)->objectName().toStdString();
        }
        PressKey(Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_TRUE(FocusOn(form().Memo2)) << FocusName();
        EXPECT_EQ(form().Memo2->toPlainText(), log) << "Tab must not type into the log";
    }

    WindowOnMeter window;
};

TEST_F(KeyboardWalk, TabFollowsTheDesignedOrderWhileNotConnected) {
    // Log, Exit, Save, COM SET, Clear, (function pages: disabled), Connect, INTERVAL.
    walk({form().Button4, form().Button1, form().CONF, form().ClearBtn, form().Check_Connection,
          form().COMBOX_INTERVAL});
}

TEST_F(KeyboardWalk, TabReachesTheFunctionButtonsWhileConnected) {
    window.connectAndWaitForReading();
    // COM SET is disabled now; the function page takes the focus after Clear,
    // its tab bar first and then each button of the page.
    std::vector<QWidget*> stops = {form().Button4, form().Button1, form().ClearBtn,
                                   form().PageControl1};
    for (QPushButton* button :
         {form().DCV_Btn, form().ACV_Btn, form().OHM2_Btn, form().OHM4_Btn, form().DCI_Btn,
          form().ACI_Btn, form().Cont_Btn, form().Freq_Btn, form().period_Btn, form().Diod_Btn}) {
        stops.push_back(button);
    }
    stops.push_back(form().Check_Connection);
    stops.push_back(form().COMBOX_INTERVAL);
    walk(stops);
}

} // namespace
} // namespace velmora::test
