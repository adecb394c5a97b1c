// The Advanced page on the emulated meter: settings go through the cycle as setting commands,
// what is in force is asked and shown, errors are read from the meter's queue, and a function
// with settings of its own is configured instead of measured at the presets.
#include "tests/app/app_test_support.h"

#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "measure/advanced_page.h"
#include "record/run_reader.h"
#include "serial/comm.h"
#include "settings/ini_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora::test {
namespace {

MeterOptions SteadyMeter(const char* script = "") {
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    // A command sent before an answer is out would show as -410 in the error queue.
    options.interruptQueries = true;
    options.measureTime = std::chrono::milliseconds(5);
    options.script = ParseScript(script);
    return options;
}

// The commands from the first `first` on, up to and including the first "Read?" after them.
std::vector<std::string> From(const std::vector<std::string>& commands, const std::string& first) {
    const auto start = std::find(commands.begin(), commands.end(), first);
    std::vector<std::string> out;
    for (auto it = start; it != commands.end(); ++it) {
        out.push_back(*it);
        if (*it == "Read?") {
            break;
        }
    }
    return out;
}

// True once the commands from `first` on have reached a "Read?".
bool Through(const std::vector<std::string>& commands, const std::string& first) {
    const std::vector<std::string> flow = From(commands, first);
    return flow.size() > 1 && flow.back() == "Read?";
}

void Choose(QComboBox* box, const QVariant& data) {
    const int index = box->findData(data);
    ASSERT_GE(index, 0);
    box->setCurrentIndex(index);
    emit box->activated(index); // as a click would
}

TEST(AdvancedPage, AChangeIsSentThroughTheCycleAndWhatIsInForceShown) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    AdvancedPage& page = *form.advancedPage();
    EXPECT_EQ(page.function(), "VOLT");
    Choose(page.NplcBox, 1.0);
    ASSERT_TRUE(WaitUntil([&] { return Through(window.commands(), "CONF:VOLT:DC"); }));
    EXPECT_EQ(From(window.commands(), "CONF:VOLT:DC"),
              (std::vector<std::string>{
                  "CONF:VOLT:DC", "VOLT:DC:NPLC 1", "SYST:ERR?", "VOLT:DC:NPLC?", "VOLT:DC:RES?",
                  "VOLT:DC:RANG?", "VOLT:DC:RANG:AUTO?", "ZERO:AUTO?", "INP:IMP:AUTO?", "Read?"}));
    EXPECT_EQ(page.InForceLabel->text().toStdString(),
              "In force: 1 PLC, resolution 3E-5, range 10 V (auto), autozero on, "
              "impedance 10 M\u03a9");
    EXPECT_TRUE(page.ErrorLabel->text().isEmpty());
    EXPECT_EQ(IniFile(window.folder() / "velmora.ini").readValue("Meter Settings", "VOLT.NPLC", ""),
              "1");
    // The replies to the queries were no readings: the log goes on as before.
    const auto lines = form.Memo2->lineCount();
    ASSERT_TRUE(WaitUntil([&] { return form.Memo2->lineCount() > lines + 2; }));
    EXPECT_EQ(form.unitLabel(), "V DC");
}

TEST(AdvancedPage, EveryErrorIsReadFromTheQueueUntilItIsEmptyAndShown) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    // The meter answers the first two error queries with errors of its own,
    // the first with a terminal's escape sequence in it (shown, never acted on).
    window.meter().Inject(ParseScript("reply -222,\"Data\\x1b]0;x\\x07 out of range\"\n"
                                      "reply -221,\"Settings conflict\"\n"));
    Choose(form.advancedPage()->RangeBox, 1000.0);
    ASSERT_TRUE(WaitUntil([&] { return Through(window.commands(), "CONF:VOLT:DC"); }));
    const std::vector<std::string> sent = From(window.commands(), "CONF:VOLT:DC");
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + 6),
              (std::vector<std::string>{"CONF:VOLT:DC", "VOLT:DC:RANG 1000", "SYST:ERR?",
                                        "SYST:ERR?", "SYST:ERR?", "VOLT:DC:NPLC?"}))
        << "the queue is read again until it says no error";
    // All of them on the page, the first in the status bar with the count of the others.
    EXPECT_EQ(form.advancedPage()->ErrorLabel->text().toStdString(),
              "Meter error -222: Data\\x1b]0;x\\x07 out of range\n"
              "Meter error -221: Settings conflict");
    EXPECT_EQ(form.statusMessage->text().toStdString(),
              "Meter error -222: Data\\x1b]0;x\\x07 out of range (and 1 more)");
    EXPECT_FALSE(form.statusMessage->toolTip().contains(QChar(0x1b)));
}

TEST(AdvancedPage, AQueueThatNeverEmptiesIsReadTwentyTimesAndPollingGoesOn) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    std::string script;
    for (int i = 0; i < 25; ++i) {
        script += "reply -222,\"Data out of range\"\n";
    }
    window.meter().Inject(ParseScript(script));
    Choose(form.advancedPage()->RangeBox, 1000.0);
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<std::string> sent = From(window.commands(), "CONF:VOLT:DC");
        return std::find(sent.begin(), sent.end(), "VOLT:DC:NPLC?") != sent.end();
    })) << "the settings cycle never went on";
    const std::vector<std::string> sent = From(window.commands(), "CONF:VOLT:DC");
    const auto next = std::find(sent.begin(), sent.end(), "VOLT:DC:NPLC?");
    EXPECT_EQ(std::count(sent.begin(), next, "SYST:ERR?"), 20) << "at most 20 reads in a row";
}

TEST(AdvancedPage, AFunctionWithItsOwnSettingsIsConfiguredNotMeasuredAtThePresets) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    WriteBytes(window.folder() / "velmora.ini",
               "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n[Meter Settings]\r\nRES.Range=10000\r\n"
               "RES.NPLC=0.2\r\n");
    TForm1 fresh(nullptr, window.folder() / "velmora.ini");
    EXPECT_EQ(fresh.meterSettings().of("RES").range, 1e4);
    EXPECT_EQ(fresh.meterSettings().of("RES").nplc, 0.2);

    // The same settings in the window on the meter, through its page.
    window.connectAndWaitForReading();
    form.OHM2_Btn->click();
    ASSERT_TRUE(WaitUntil([&] { return form.unitLabel() == "OHM"; }));
    Choose(form.advancedPage()->RangeBox, 1e4);
    form.DCV_Btn->click();
    ASSERT_TRUE(WaitUntil([&] { return form.unitLabel() == "V DC"; }));
    const size_t before = window.commands().size();
    form.OHM2_Btn->click();
    ASSERT_TRUE(WaitUntil([&] {
        const auto c = window.commands();
        return c.size() > before &&
               Through({c.begin() + static_cast<std::ptrdiff_t>(before), c.end()}, "CONF:RES");
    }));
    const std::vector<std::string> all = window.commands();
    const std::vector<std::string> after(all.begin() + static_cast<std::ptrdiff_t>(before),
                                         all.end());
    EXPECT_EQ(std::count(after.begin(), after.end(), "Meas:RES?"), 0)
        << "no reading at the presets";
    const std::vector<std::string> flow = From(after, "CONF:RES");
    ASSERT_FALSE(flow.empty());
    EXPECT_EQ(flow.front(), "CONF:RES");
    EXPECT_EQ(flow[1], "RES:RANG 10000");
    EXPECT_EQ(flow[flow.size() - 2], "Func?");
    ASSERT_TRUE(WaitUntil([&] { return form.unitLabel() == "OHM" && form.canSend() == 1; }));
    EXPECT_NE(form.advancedPage()->InForceLabel->text().indexOf(QStringLiteral("range 10 kohm")),
              -1)
        << form.advancedPage()->InForceLabel->text().toStdString();
}

TEST(AdvancedPage, FastAcquisitionEndsRepliesAtTheLineEndAndIsKept) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    EXPECT_FALSE(form.Comm1->EndReadAtLineFeed()) << "standard unless chosen";
    QComboBox* box = form.advancedPage()->AcquisitionBox;
    box->setCurrentIndex(1);
    emit box->activated(1);
    EXPECT_TRUE(form.Comm1->EndReadAtLineFeed());
    EXPECT_EQ(
        IniFile(window.folder() / "velmora.ini").readValue("Meter Settings", "Acquisition", ""),
        "FAST");
    const size_t before = window.commands().size();
    const auto lines = form.Memo2->lineCount();
    ASSERT_TRUE(WaitUntil([&] { return form.Memo2->lineCount() >= lines + 10; }));
    const std::vector<std::string> all = window.commands();
    for (size_t i = before; i < all.size(); ++i) {
        EXPECT_EQ(all[i], "Read?") << "the same queries, only sooner";
    }
    TForm1 again(nullptr, window.folder() / "velmora.ini");
    EXPECT_TRUE(again.meterSettings().fast);
    EXPECT_TRUE(again.Comm1->EndReadAtLineFeed());
}

TEST(AdvancedPage, ABurstGivesEachReadingItsPlaceInTheLogAndTheRecording) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    const std::string path = window.folder() / "burst.csv";
    ASSERT_TRUE(form.recording()->startInto(QString::fromStdString(path)));
    window.connectAndWaitForReading();
    form.advancedPage()->SamplesBox->setValue(3);
    emit form.advancedPage()->SamplesBox->editingFinished();
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= 12; }));
    form.Check_Connection->setChecked(false);
    ASSERT_TRUE(WaitUntil([&] { return !form.Timer1->isActive(); }));
    form.recording()->stop();

    const std::vector<std::string> commands = window.commands();
    const auto set = std::find(commands.begin(), commands.end(), "SAMP:COUN 3");
    ASSERT_NE(set, commands.end());
    ASSERT_GT(std::distance(set, commands.end()), 1);
    EXPECT_EQ(*(set + 1), "SYST:ERR?");
    const size_t readsAfter = static_cast<size_t>(std::count(set, commands.end(), "Read?"));
    // Every reading of a burst is a line of the log and a row of the recording.
    const QStringList lines = form.Memo2->toPlainText().split(QLatin1Char('\n'));
    ASSERT_GT(lines.size(), 6);
    for (const QString& line : lines) {
        if (!line.isEmpty()) {
            EXPECT_EQ(line.count(QLatin1Char(',')), 3)
                << line.toStdString() << ": one reading a line";
        }
    }
    const std::optional<SavedRun> run = ReadRun(ReadBytes(path).value_or(""));
    ASSERT_TRUE(run);
    size_t burst = 0;
    for (const RunRow& row : run->rows) {
        burst += row.value ? 1 : 0;
    }
    EXPECT_GE(burst, readsAfter * 3) << "three readings a query";
    const std::string bytes = ReadBytes(path).value_or("");
    EXPECT_NE(bytes.find(",V DC,burst,"), std::string::npos) << "marked as such";
    EXPECT_EQ(bytes.find("E+00,"), std::string::npos) << "no reply written whole";
    EXPECT_EQ(IniFile(window.folder() / "velmora.ini").readValue("Meter Settings", "Samples", ""),
              "3");
}

TEST(AdvancedPage, UntouchedItSendsNothingOfItsOwn) {
    WindowOnMeter window(SteadyMeter());
    TForm1& form = window.form();
    window.connectAndWaitForReading();
    form.ACV_Btn->click();
    ASSERT_TRUE(WaitUntil([&] { return form.unitLabel() == "V AC"; }));
    ASSERT_TRUE(window.waitForCommands(window.commands().size() + 3));
    for (const std::string& command : window.commands()) {
        EXPECT_TRUE(command == "syst:rem" || command == "Func?" || command == "Read?" ||
                    command == "Meas:Volt:AC?")
            << command;
    }
}

} // namespace
} // namespace velmora::test
