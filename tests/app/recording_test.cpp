// Recording from the main window: every reading and event in the file, beside the thinned log,
// across function changes and a lost port; a failing file stops only the recording.
#include "tests/app/app_test_support.h"

#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "chart/chart_display_menu.h"
#include "chart/chart_window.h"
#include "record/run_reader.h"
#include "serial/comm.h"
#include "settings/settings_store.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

SavedRun ReadBack(const std::string& path) {
    const std::optional<SavedRun> run = ReadRun(ReadBytes(path).value_or(""));
    EXPECT_TRUE(run.has_value()) << path;
    return run.value_or(SavedRun{});
}

std::vector<std::string> Events(const SavedRun& run) {
    std::vector<std::string> events;
    for (const RunRow& row : run.rows) {
        if (!row.event.empty()) {
            events.push_back(row.event);
        }
    }
    return events;
}

// Numeric replies the meter gave: its answers to "Read?" and "Meas...?".
size_t ReadingsAnswered(const std::vector<std::string>& commands) {
    return static_cast<size_t>(std::count_if(commands.begin(), commands.end(), [](auto& c) {
        return c == "Read?" || c.starts_with("Meas");
    }));
}

TEST(Recording, EveryReadingGoesToTheFileWhateverTheLogInterval) {
    WindowOnMeter window;
    TForm1& form = window.form();
    const std::string path = window.folder() / "run.csv";
    ASSERT_TRUE(form.recording()->startInto(QString::fromStdString(path)))
        << "recording may start before Connect";
    EXPECT_TRUE(form.statusRecording->isVisibleTo(&form));
    form.COMBOX_INTERVAL->setEditText(QStringLiteral("5"));
    form.settingsFile()->writeValue("Meter", "Name", "Bench 3"); // read when connecting
    window.connectAndWaitForReading();
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= 12; }));
    form.Check_Connection->setChecked(false); // disconnecting: the last reply comes in
    ASSERT_TRUE(WaitUntil([&] { return !form.Timer1->isActive(); }));
    const uint64_t recorded = ReadBack(path).readings;
    EXPECT_EQ(form.statusRecording->text(),
              QStringLiteral("\u25CF REC run.csv: %1 readings").arg(recorded));
    form.recording()->stop();
    EXPECT_FALSE(form.recording()->recording());
    EXPECT_FALSE(form.statusRecording->isVisibleTo(&form));

    const SavedRun run = ReadBack(path);
    EXPECT_FALSE(run.stoppedAt);
    EXPECT_EQ(run.readings, ReadingsAnswered(window.commands()))
        << "one row for every reading the meter sent";
    EXPECT_GT(run.readings, static_cast<uint64_t>(form.Memo2->lineCount() - 1) * 5)
        << "the log is thinned, the recording is not";
    EXPECT_EQ(Events(run), (std::vector<std::string>{"recording started", "meter Bench 3",
                                                     "function V DC", "recording stopped"}));
    for (const RunRow& row : run.rows) {
        if (row.value) {
            EXPECT_EQ(row.unit, "V DC");
        }
    }
    // The last folder is kept for the next recording, in a section of its own.
    EXPECT_EQ(form.settingsFile()->readValue("Recording", "LastFolder", ""),
              window.folder().path());
    // The file offered next: "velmora-2026-12-09T101500.csv", now in local time.
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    const QString suggested = form.recording()->suggestedFile();
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const QRegularExpressionMatch name =
        QRegularExpression(
            QStringLiteral(
                "^(.*)/velmora-(\\d{4})-(\\d\\d)-(\\d\\d)T(\\d\\d)(\\d\\d)(\\d\\d)\\.csv$"))
            .match(suggested);
    ASSERT_TRUE(name.hasMatch()) << suggested.toStdString();
    EXPECT_EQ(name.captured(1).toStdString(), window.folder().path());
    const QDateTime stamp(
        QDate(name.captured(2).toInt(), name.captured(3).toInt(), name.captured(4).toInt()),
        QTime(name.captured(5).toInt(), name.captured(6).toInt(), name.captured(7).toInt()));
    EXPECT_TRUE(stamp >= before.addMSecs(-before.time().msec()) && stamp <= after)
        << suggested.toStdString();
}

TEST(Recording, TheFileChooserOffersTheNameAndAddsToAnExistingFileWithoutAsking) {
    WindowOnMeter window;
    TForm1& form = window.form();
    const QString existing = QString::fromStdString(window.folder() / "earlier.csv");
    WriteBytes(existing.toStdString(), "sequence,time,seconds,value,unit,status,event\n");
    QString offered;
    QStringList filters;
    bool askedToReplace = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->selectedFiles().value(0);
        filters = dialog->nameFilters();
        // An overwrite question would come up over the dialog: say no to it.
        QTimer::singleShot(200, [&askedToReplace, dialog] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                askedToReplace = true;
                box->reject();
                QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
            }
        });
        dialog->selectFile(existing);
        static_cast<QDialog*>(dialog)->accept();
    });
    const QString suggested = QString::fromStdString(window.folder() / "velmora-new.csv");
    EXPECT_EQ(form.recording()->chooseFile(suggested), existing);
    EXPECT_EQ(offered, suggested);
    EXPECT_EQ(filters, QStringList{QStringLiteral("CSV (*.csv)")});
    EXPECT_FALSE(askedToReplace) << "a recording adds to a file, it never replaces it";
}

TEST(Recording, AFunctionChangeIsAnEventAndItsFirstReadingHasNoUnitYet) {
    WindowOnMeter window;
    TForm1& form = window.form();
    const std::string path = window.folder() / "run.csv";
    window.connectAndWaitForReading();
    ASSERT_TRUE(form.recording()->startInto(QString::fromStdString(path)));
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= 2; }));
    form.DCI_Btn->click();
    ASSERT_TRUE(WaitUntil([&] { return form.unitLabel() == "A DC"; }));
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= 5; }));
    form.recording()->stop();

    const SavedRun run = ReadBack(path);
    std::vector<std::string> sequence; // unit of each reading, events by name
    for (const RunRow& row : run.rows) {
        sequence.push_back(row.value ? "reading " + row.unit : row.event);
    }
    const auto change = std::find(sequence.begin(), sequence.end(), "function A DC");
    ASSERT_NE(change, sequence.end());
    ASSERT_NE(change, sequence.begin());
    EXPECT_EQ(*(change - 1), "reading ") << "the measure query's reading: its unit not yet named";
    EXPECT_EQ(*(change + 1), "reading A DC");
    ASSERT_GE(sequence.size(), 2u);
    EXPECT_EQ(sequence[0], "recording started");
    EXPECT_EQ(sequence[1], "meter " + form.Comm1->CommName()) << "no name set: the port names it";
}

TEST(Recording, GoesOnAcrossALostAndReturningPort) {
    TempFolder links;
    MeterOptions options;
    options.linkPath = links / "meter";
    WindowOnMeter window(options);
    TForm1& form = window.form();
    form.Comm1->ClosePort();
    form.Comm1->SetCommName(options.linkPath);
    form.Comm1->OpenPort();
    const std::string path = window.folder() / "run.csv";
    window.connectAndWaitForReading();
    ASSERT_TRUE(form.recording()->startInto(QString::fromStdString(path)));
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= 2; }));
    ScriptStep unplug;
    unplug.kind = ScriptStep::Kind::Hangup;
    unplug.reopen = true;
    unplug.milliseconds = 200;
    window.meter().Inject(unplug);
    ASSERT_TRUE(WaitUntil(
        [&] { return form.statusMessage->text().startsWith(QStringLiteral("Reconnected")); }));
    const uint64_t before = form.recording()->writer().Readings();
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= before + 2; }));
    form.recording()->stop();
    const std::vector<std::string> events = Events(ReadBack(path));
    const auto lost = std::find(events.begin(), events.end(), "port lost");
    ASSERT_NE(lost, events.end());
    EXPECT_EQ(*(lost + 1), "reconnected");
}

TEST(Recording, ADeletedFileStopsTheRecordingOnceAndPollingGoesOn) {
    WindowOnMeter window;
    TForm1& form = window.form();
    Boxes().errors.clear();
    const std::string path = window.folder() / "run.csv";
    window.connectAndWaitForReading();
    ASSERT_TRUE(form.recording()->startInto(QString::fromStdString(path)));
    ASSERT_TRUE(WaitUntil([&] { return form.recording()->writer().Readings() >= 2; }));
    std::filesystem::remove(path);
    ASSERT_TRUE(WaitUntil([&] { return !form.recording()->recording(); }))
        << "the deletion was not noticed";
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].details,
              QStringLiteral("the file was deleted or its folder removed"));
    EXPECT_TRUE(form.statusMessage->text().startsWith(QStringLiteral("Recording stopped")));
    EXPECT_FALSE(form.statusRecording->isVisibleTo(&form));
    const int64_t lines = form.Memo2->lineCount();
    ASSERT_TRUE(WaitUntil([&] { return form.Memo2->lineCount() > lines + 2; }))
        << "polling must go on";
    EXPECT_EQ(Boxes().errors.size(), 1u) << "said once";
}

TEST(Recording, AFileThatCannotBeMadeIsReportedAtOnce) {
    WindowOnMeter window;
    Boxes().errors.clear();
    EXPECT_FALSE(window.form().recording()->startInto(
        QString::fromStdString(window.folder() / "missing/run.csv")));
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].details, QStringLiteral("No such file or directory"));
    EXPECT_FALSE(window.form().recording()->recording());
}

TEST(Recording, StartedAndStoppedFromTheDisplaysMenuAndTheChart) {
    WindowOnMeter window;
    TForm1& form = window.form();
    TForm2 chart;
    form.setChartWindow(&chart);
    const std::string path = window.folder() / "menu";
    QString offered;
    form.recording()->chooseFile = [&](const QString& suggested) {
        offered = suggested;
        return QString::fromStdString(path); // no extension typed
    };
    ChartDisplayMenu* menu = form.displayMenu();
    ASSERT_NE(menu, nullptr);
    ASSERT_TRUE(menu->menu()->actions().contains(form.recordAction()));
    form.recordAction()->trigger();
    EXPECT_TRUE(form.recording()->recording());
    EXPECT_EQ(form.recording()->writer().Path(), path + ".csv");
    EXPECT_TRUE(offered.endsWith(QStringLiteral(".csv")) &&
                offered.contains(QStringLiteral("velmora-")));
    EXPECT_EQ(form.recordAction()->text(), QStringLiteral("Stop recording"));
    EXPECT_EQ(chart.RecordBtn->text(), QStringLiteral("Stop recording"));
    EXPECT_TRUE(form.statusRecording->text().contains(QStringLiteral("menu.csv")));
    // The chart's button stops it.
    chart.RecordBtn->click();
    EXPECT_FALSE(form.recording()->recording());
    EXPECT_EQ(chart.RecordBtn->text(), QStringLiteral("Record..."));
    EXPECT_EQ(form.recordAction()->text(), QStringLiteral("Start recording..."));
    form.setChartWindow(nullptr);
}

} // namespace
} // namespace velmora::test
