// The "Com Set" dialog as designed: window, controls, lists, tab order, fonts, captions that fit.
#include "tests/settings/dialog_test_support.h"

#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::DialogBench;

TEST(ComSetLayout, WindowAsDesigned) {
    DialogBench bench;
    TForm3& dialog = *bench.dialog;
    EXPECT_EQ(dialog.windowTitle(), "Com Set");
    // As designed for serial ports, with the meter's choice beneath.
    EXPECT_EQ(dialog.size(), QSize(145, 208));
    EXPECT_EQ(dialog.pos(), QPoint(201, 419));
    EXPECT_TRUE(dialog.isModal());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.font().family(), "MS Sans Serif");
    EXPECT_EQ(dialog.font().pointSize(), 8);
    // Resizable: nothing fixes its size.
    EXPECT_EQ(dialog.minimumSize(), QSize(0, 0));
    EXPECT_EQ(dialog.maximumSize(), QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));

    // Showing keeps the designed place instead of centring over a parent.
    QWidget owner;
    owner.setGeometry(500, 300, 300, 200);
    TForm3 owned(bench.comm, *bench.ini, &owner);
    owner.show();
    owned.show();
    EXPECT_EQ(owned.pos(), QPoint(201, 419));
}

TEST(ComSetLayout, ControlsAsDesigned) {
    DialogBench bench;
    struct Row {
        const char* name;
        const char* className;
        QRect geometry;
        QString text;
    };
    const Row rows[] = {
        {"Label1", "QLabel", QRect(24, 32, 28, 16), "Com"},
        {"Label2", "QLabel", QRect(16, 72, 55, 16), "Baudrate"},
        {"ComboBox1", "QComboBox", QRect(72, 24, 65, 21), "Com1"},
        {"ComboBox2", "QComboBox", QRect(72, 64, 65, 21), "9600"},
        {"Button1", "QPushButton", QRect(32, 96, 75, 25), "OK"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QWidget* widget = bench.dialog->findChild<QWidget*>(row.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget(), bench.dialog.get());
        EXPECT_STREQ(widget->metaObject()->className(), row.className);
        EXPECT_EQ(widget->geometry(), row.geometry);
        EXPECT_TRUE(widget->isEnabled());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), row.text);
            EXPECT_EQ(label->font().family(), "MS Sans Serif");
            EXPECT_EQ(label->font().pointSize(), 10);
            EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
        } else if (auto* box = qobject_cast<QComboBox*>(widget)) {
            EXPECT_TRUE(box->isEditable());
            EXPECT_EQ(box->currentText(), row.text);
            EXPECT_EQ(box->insertPolicy(), QComboBox::NoInsert);
            EXPECT_EQ(box->font().pointSize(), 8);
        } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
            EXPECT_EQ(button->text(), row.text);
            EXPECT_FALSE(button->isDefault());
            EXPECT_FALSE(button->autoDefault());
            EXPECT_EQ(button->font().pointSize(), 8);
        }
    }
    EXPECT_EQ(bench.dialog->findChildren<QPushButton*>().size(), 2) << "no Cancel button";

    // Beneath the serial controls: the meter's profile and "Identify".
    const auto* meterLabel = bench.dialog->findChild<QLabel*>("Label3");
    const auto* meterBox = bench.dialog->findChild<QComboBox*>("MeterBox");
    const auto* identify = bench.dialog->findChild<QPushButton*>("IdentifyButton");
    ASSERT_TRUE(meterLabel && meterBox && identify);
    EXPECT_EQ(meterLabel->text(), "Meter");
    EXPECT_EQ(meterLabel->geometry(), QRect(8, 132, 129, 16));
    EXPECT_EQ(meterBox->geometry(), QRect(8, 148, 129, 21));
    EXPECT_FALSE(meterBox->isEditable()) << "a choice, not a text";
    EXPECT_EQ(identify->geometry(), QRect(32, 176, 75, 25));
    EXPECT_EQ(identify->text(), "Identify");
    EXPECT_FALSE(identify->autoDefault());
    EXPECT_LE(identify->geometry().bottom(), bench.dialog->height());

    QStringList ports;
    for (int i = 0; i < bench.PortBox().count(); ++i) {
        ports << bench.PortBox().itemText(i);
    }
    EXPECT_EQ(ports, QStringList({"Com1", "Com2", "Com3", "Com4", "Com5", "Com6", "Com7", "Com8",
                                  "Com9", "Com10"}));
    QStringList rates;
    for (int i = 0; i < bench.BaudBox().count(); ++i) {
        rates << bench.BaudBox().itemText(i);
    }
    EXPECT_EQ(rates, QStringList({"9600", "4800", "3200"}));
}

TEST(ComSetLayout, TabOrderPortRateOk) {
    DialogBench bench;
    bench.Show();
    QApplication::setActiveWindow(bench.dialog.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(bench.dialog.get()));
    bench.PortBox().setFocus();
    ASSERT_TRUE(bench.PortBox().hasFocus());
    const QWidget* expected[] = {
        &bench.BaudBox(), &bench.OkButton(), bench.dialog->findChild<QComboBox*>("MeterBox"),
        bench.dialog->findChild<QPushButton*>("IdentifyButton"), &bench.PortBox()};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QWidget* focused = QApplication::focusWidget();
        // An editable box holds the focus in its edit field.
        if (focused && qobject_cast<const QLineEdit*>(focused)) {
            focused = focused->parentWidget();
        }
        EXPECT_EQ(focused, next) << (focused ? focused->objectName().toStdString() : "none");
    }
}

TEST(ComSetLayout, CaptionsFitTheirControls) {
    DialogBench bench;
    bench.Show();
    for (const QLabel* label : bench.dialog->findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        const QFontMetrics metrics(label->font());
        EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width());
        EXPECT_LE(metrics.height(), label->height());
    }
    const QFontMetrics buttonMetrics(bench.OkButton().font());
    EXPECT_LT(buttonMetrics.horizontalAdvance("OK"), bench.OkButton().width() - 8);
    // The longest listed entries show in full in the edit fields.
    for (QComboBox* box : {&bench.PortBox(), &bench.BaudBox()}) {
        const QLineEdit& edit = *box->lineEdit();
        const QFontMetrics metrics(edit.font());
        for (const char* text : {"Com10", "9600"}) {
            if (box->findText(text) >= 0) {
                EXPECT_LE(metrics.horizontalAdvance(text), edit.width())
                    << box->objectName().toStdString() << " " << text;
            }
        }
    }
}

} // namespace
} // namespace velmora
