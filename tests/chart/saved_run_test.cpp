// Saved runs opened in the chart: a recording and a log saved with Save, as the program writes
// them.
#include "tests/app/app_test_support.h"

#include "app/recording_control.h"
#include "chart/chart_window.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace velmora::test {
namespace {

class SavedRunInChart : public ::testing::Test {
protected:
    void SetUp() override {
        Boxes().errors.clear();
        form().setChartWindow(&chart_);
    }
    void TearDown() override { form().setChartWindow(nullptr); }
    void deliver(const char* reply) {
        form().Comm1ReceiveData(nullptr, reply, static_cast<uint16_t>(std::strlen(reply)));
    }
    TForm1& form() { return window_.form(); }

    WindowOnMeter window_;
    TForm2 chart_;
};

TEST_F(SavedRunInChart, RecordingAndSavedLogOpenWithTheirReadingsAndStatistics) {
    const std::string recording = window_.folder() / "run.csv";
    const std::string saved = window_.folder() / "log.csv";
    ASSERT_TRUE(form().recording()->startInto(QString::fromStdString(recording)));
    deliver("\"RES\"\r\n");
    for (const char* reply : {"+1.00000000E+03\r\n", "+3.00000000E+03\r\n", "+9.90000000E+37\r\n",
                              "+2.00000000E+03\r\n"}) {
        deliver(reply);
    }
    deliver("\"VOLT\"\r\n");
    deliver("-1.50000000E+00\r\n");
    form().recording()->stop();
    form().chooseSaveFile = [&] { return QString::fromStdString(saved); };
    form().Button1->click();
    ASSERT_TRUE(Boxes().errors.empty());

    for (const std::string& path : {recording, saved}) {
        SCOPED_TRACE(path);
        chart_.chooseRunFile = [&] { return QString::fromStdString(path); };
        TForm2* review = nullptr;
        review = chart_.openRun(QString::fromStdString(path));
        ASSERT_NE(review, nullptr);
        EXPECT_TRUE(review->showsSavedRun());
        EXPECT_FALSE(review->RecordBtn->isVisible()) << "a saved run is not recorded";
        const TrendRecorder& recorder = review->recorder();
        ASSERT_EQ(recorder.seriesCount(), 2u) << "one series per unit";
        const TrendSeries& ohm = recorder.series(0);
        EXPECT_EQ(ohm.unitLabel(), "OHM");
        EXPECT_EQ(ohm.points(), 3u);
        EXPECT_EQ(ohm.lowest(), 1000);
        EXPECT_EQ(ohm.highest(), 3000);
        EXPECT_EQ(ohm.statistics().overloads(), 1u);
        EXPECT_EQ(review->plottedPoints(0), 3);
        EXPECT_EQ(review->overloadMarks(0), 1);
        const TrendSeries& volts = recorder.series(1);
        EXPECT_EQ(volts.unitLabel(), "V DC");
        EXPECT_EQ(volts.points(), 1u);
        EXPECT_EQ(volts.lowest(), -1.5);
        review->showSeries(0);
        review->redraw();
        EXPECT_EQ(review->statisticsText(QStringLiteral("Count")), QStringLiteral("3"));
        // The run's last reading of the unit (eight digits), not the first or the overload.
        EXPECT_EQ(review->statisticsText(QStringLiteral("Last")), QStringLiteral("2.0000000 kOHM"));
        EXPECT_EQ(review->statisticsText(QStringLiteral("Mean")),
                  QStringLiteral("2.00000000 kOHM"));
        EXPECT_TRUE(review->NoteLabel->text().contains(QStringLiteral("5 readings")))
            << review->NoteLabel->text().toStdString();
        review->close(); // deletes itself
    }
}

TEST_F(SavedRunInChart, ARecordingKeepsItsOwnTimeLine) {
    // Eleven readings a second apart: ten intervals in the last ten seconds.
    const std::string path = window_.folder() / "timed.csv";
    std::string text = "sequence,time,seconds,value,unit,status,event\n"
                       "1,2026-12-09T10:15:00.000+00:00,0.000,,,,recording started\n";
    for (int i = 0; i <= 10; ++i) {
        text += std::to_string(i + 2) + ",2026-12-09T10:15:" + (i < 10 ? "0" : "") +
                std::to_string(i) + ".000+00:00," + std::to_string(i) + ".000," +
                std::to_string(100 + i) + ",V DC,ok,\n";
    }
    WriteBytes(path, text);
    TForm2* review = chart_.openRun(QString::fromStdString(path));
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->plottedPoints(0), 11);
    review->showSeries(0);
    review->redraw();
    EXPECT_EQ(review->statisticsText(QStringLiteral("Rate")), QStringLiteral("1.0 /s"));
    EXPECT_EQ(review->statisticsText(QStringLiteral("Last")), QStringLiteral("110.00000 V DC"));
    review->close();
}

TEST_F(SavedRunInChart, ATornFileOpensAsFarAsItIsValidAndSaysWhere) {
    const std::string path = window_.folder() / "torn.csv";
    WriteBytes(path, "No.,Function,Value,Time\r\n1,OHM,+1.0E+00,12:00:00\r\n2,OHM,+2.0E+00,12:0");
    TForm2* review = chart_.openRun(QString::fromStdString(path));
    ASSERT_NE(review, nullptr);
    EXPECT_EQ(review->plottedPoints(0), 1);
    EXPECT_TRUE(review->NoteLabel->text().contains(QStringLiteral("reading stopped at line 3")))
        << review->NoteLabel->text().toStdString();
    EXPECT_EQ(review->NoteLabel->textFormat(), Qt::PlainText) << "a file name is no markup";
    review->close();

    WriteBytes(path, "\x89PNG not ours");
    EXPECT_EQ(chart_.openRun(QString::fromStdString(path)), nullptr);
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_TRUE(Boxes().errors[0].text.contains(QStringLiteral("neither a recording nor")));
}

} // namespace
} // namespace velmora::test
