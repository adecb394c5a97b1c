// Math in the main window: the displays show the derived value and its unit, the log box the
// raw reading, the status bar which math is on; Null takes the last reading; the dialog reads
// its fields; a recording begun with math on gets the math columns.
#include "app/math_control.h"
#include "app/math_dialog.h"
#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "lcd/lcd_matrix.h"
#include "record/run_reader.h"
#include "settings/settings_store.h"
#include "tests/app/app_test_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::WaitUntil;

TEST(MathWindow, TheDisplaysShowTheDerivedValueAndTheLogTheRawReading) {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    test::WindowOnMeter window(options);
    MathSettings mv;
    mv.conversion = MathConversion::Scale;
    mv.scale = 1000;
    mv.scaleUnit = "mV";
    mv.limitsOn = true;
    mv.limitLow = 1000;
    mv.limitHigh = 2000;
    window.form().math()->apply("VOLT", mv);
    window.form().recording()->startInto(QString::fromStdString(window.folder() / "math.csv"));
    window.connectAndWaitForReading();
    ASSERT_TRUE(WaitUntil([&] { return window.form().Memo2->lineCount() >= 4; }));
    // The emulated meter reads about 1.2345 V: 1234.5 mV on the display.
    EXPECT_TRUE(window.form().iLCDMatrix1->Text().starts_with("1234."))
        << window.form().iLCDMatrix1->Text();
    EXPECT_EQ(window.form().iLCDMatrix2->Text(), "        mV");
    EXPECT_TRUE(window.form().Memo2->toPlainText().contains(QStringLiteral(",V DC,+1.234")))
        << "the log box keeps the raw reading";
    EXPECT_EQ(window.form().statusMath->text(), QStringLiteral("Math: scale + limits"));
    EXPECT_TRUE(window.form().limitCounts->text().startsWith(QStringLiteral("pass ")));
    EXPECT_EQ(window.form().math()->math().counts("VOLT").low, 0u);

    window.form().recording()->stop();
    const std::optional<SavedRun> run =
        ReadRun(test::ReadBytes(window.folder() / "math.csv").value_or(""));
    ASSERT_TRUE(run);
    bool derived = false;
    for (const RunRow& row : run->rows) {
        if (row.value && row.math) {
            derived = true;
            EXPECT_NEAR(*row.math, static_cast<double>(*row.value) * 1000, 1e-6);
            EXPECT_EQ(row.mathUnit, "mV");
            EXPECT_EQ(row.limit, "pass");
        }
    }
    EXPECT_TRUE(derived) << "a recording begun with math on has its columns";

    // Null takes the last reading: what shows then is near zero.
    window.form().math()->nullNow();
    const size_t lines = static_cast<size_t>(window.form().Memo2->lineCount());
    ASSERT_TRUE(WaitUntil(
        [&] { return static_cast<size_t>(window.form().Memo2->lineCount()) > lines + 1; }));
    const double shown = std::stod(window.form().iLCDMatrix1->Text());
    EXPECT_LT(std::fabs(shown), 1.0) << "within a millivolt of the null";
    EXPECT_EQ(window.form().statusMath->text(), QStringLiteral("Math: null + scale + limits"));
    EXPECT_NE(window.form().settingsFile()->readValue("Math", "VOLT.Null", ""), "") << "kept";
}

TEST(MathWindow, TheDialogReadsItsFieldsAndRefusesWhatIsNoNumber) {
    MathSettings start;
    start.conversion = MathConversion::Thermocouple;
    MathDialog dialog("VOLT", start);
    EXPECT_EQ(dialog.conversion->currentIndex(), static_cast<int>(MathConversion::Thermocouple));
    dialog.thermocouple->setCurrentIndex(2);
    dialog.coldJunction->setText(QStringLiteral("22.5"));
    dialog.limitsOn->setChecked(true);
    dialog.limitLow->setText(QStringLiteral("-110"));
    std::optional<MathSettings> chosen = dialog.chosen();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->thermocouple, ThermocoupleType::T);
    EXPECT_EQ(chosen->coldJunctionCelsius, 22.5);
    EXPECT_EQ(chosen->limitLow, -110);
    EXPECT_EQ(chosen->limitHigh, std::nullopt) << "an empty limit is none";
    dialog.coldJunction->setText(QStringLiteral("22,5"));
    EXPECT_FALSE(dialog.chosen());
    EXPECT_EQ(dialog.problem(), QStringLiteral("Cold junction \"22,5\" is not a number"));
    dialog.coldJunction->setText(QStringLiteral("0"));
    dialog.limitHigh->setText(QStringLiteral("-200"));
    EXPECT_EQ(dialog.problem(), QStringLiteral("Low is above High"));
}

} // namespace
} // namespace velmora
