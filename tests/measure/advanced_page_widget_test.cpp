// The Advanced page shows what the function named has, and gives back what the user chose.
#include "measure/advanced_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <gtest/gtest.h>

namespace velmora {
namespace {

QStringList Items(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        items << box->itemText(i);
    }
    return items;
}

TEST(AdvancedPageWidget, OffersWhatTheFunctionHas) {
    AdvancedPage page;
    page.showFunction("VOLT:AC", {});
    EXPECT_FALSE(page.NplcBox->isEnabled()) << "AC volts have no integration time";
    EXPECT_FALSE(page.AutozeroBox->isEnabled());
    EXPECT_FALSE(page.ImpedanceBox->isEnabled());
    EXPECT_EQ(Items(page.RangeBox),
              (QStringList{"Auto", "100 mV", "1 V", "10 V", "100 V", "750 V"}));

    page.showFunction("CURR", {});
    EXPECT_TRUE(page.NplcBox->isEnabled());
    EXPECT_EQ(Items(page.NplcBox),
              (QStringList{"Meter default", "0.02 PLC", "0.2 PLC", "1 PLC", "10 PLC", "100 PLC"}));
    EXPECT_EQ(Items(page.RangeBox), (QStringList{"Auto", "10 mA", "100 mA", "1 A", "3 A"}));

    page.showFunction("FREQ", {});
    EXPECT_EQ(page.FunctionLabel->text().toStdString(), "Frequency (FREQ)");
    page.showFunction("DIOD", {});
    EXPECT_EQ(page.FunctionLabel->text().toStdString(), "Diode test (DIOD)");
    for (QWidget* w :
         std::initializer_list<QWidget*>{page.NplcBox, page.ResolutionBox, page.RangeBox,
                                         page.AutozeroBox, page.ImpedanceBox}) {
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    }
    EXPECT_TRUE(page.DisplayBox->isEnabled()) << "the display is the meter's, not the function's";
}

TEST(AdvancedPageWidget, ShowsTheStoredSettingsAndGivesBackTheChoice) {
    AdvancedPage page;
    FunctionSettings stored;
    stored.nplc = 0.2;
    stored.range = 1e5;
    stored.autozero = "ONCE";
    page.showFunction("RES", stored);
    EXPECT_EQ(page.NplcBox->currentText().toStdString(), "0.2 PLC");
    EXPECT_EQ(page.RangeBox->currentText().toStdString(), "100 kohm");
    EXPECT_EQ(page.AutozeroBox->currentText().toStdString(), "Once");
    EXPECT_EQ(page.settings(), stored);
    page.RangeBox->setCurrentIndex(0);
    FunctionSettings expected = stored;
    expected.range.reset();
    EXPECT_EQ(page.settings(), expected) << "Auto is no fixed range";

    InForce in;
    in.nplc = 0.2;
    in.resolution = 0.03;
    in.range = 1e4;
    in.autoRange = false;
    in.autozero = false;
    page.showInForce(in);
    EXPECT_EQ(page.InForceLabel->text().toStdString(),
              "In force: 0.2 PLC, resolution 0.03, range 10 kohm, autozero off");
}

} // namespace
} // namespace velmora
