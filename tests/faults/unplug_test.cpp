// Unplug: the meter's side of the line goes away while polling and comes back at the same path;
// the program notes the loss, waits, reconnects by itself and polls again from the start.
#include "app/reading_log_box.h"
#include "chart/chart_window.h"
#include "serial/comm.h"
#include "serial/port_return_watcher.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/fault_test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

struct UnplugRow {
    const char* name;
    int rounds;          // unplug and replug this many times in one run
    int gapMilliseconds; // how long the port is away each time
    bool connected;      // Connect ticked when the port goes
};

void PrintTo(const UnplugRow& row, std::ostream* out) {
    *out << row.name;
}

class Unplug : public testing::TestWithParam<UnplugRow> {};

TEST_P(Unplug, LostPortIsNotedAndTheProgramReconnectsByItself) {
    const UnplugRow& row = GetParam();
    TempFolder links;
    MeterOptions options;
    options.linkPath = links / "meter"; // the port's path, gone and back
    WindowOnMeter window(options);
    TForm1& form = window.form();
    TForm2 chart;
    form.setChartWindow(&chart);
    form.Comm1->ClosePort();
    form.Comm1->SetCommName(options.linkPath);
    form.Comm1->OpenPort();
    Boxes().errors.clear();
    if (row.connected) {
        window.connectAndWaitForReading();
    }

    for (int round = 1; round <= row.rounds; ++round) {
        SCOPED_TRACE(round);
        const int64_t linesBefore = form.Memo2->lineCount();
        ScriptStep unplug;
        unplug.kind = ScriptStep::Kind::Hangup;
        unplug.reopen = true;
        unplug.milliseconds = row.gapMilliseconds;
        window.meter().Inject(unplug);
        if (row.gapMilliseconds > 0) {
            // (Back at once, the port is reopened in the same moment it is lost.)
            ASSERT_TRUE(WaitUntil([&] { return !form.Comm1->PortOpen(); })) << "loss not noticed";
            EXPECT_TRUE(
                form.statusMessage->text().contains(QStringLiteral("waiting for it to return")))
                << form.statusMessage->text().toStdString();
            EXPECT_FALSE(form.Check_Connection->isChecked());
            EXPECT_FALSE(form.Timer1->isActive()) << "nothing is sent while the port is away";
        }

        // Back at its path: reopened with the same settings, and connected
        // again when it was connected, from the very start of the cycle.
        ASSERT_TRUE(WaitUntil([&] { return window.meter().Hangups() == round; }));
        window.meter().ClearReceived();
        ASSERT_TRUE(WaitUntil([&] {
            return form.Comm1->PortOpen() &&
                   form.statusMessage->text().startsWith(QStringLiteral("Reconnected at "));
        })) << "never reopened";
        EXPECT_TRUE(form.statusMessage->text().startsWith(QStringLiteral("Reconnected at ")))
            << form.statusMessage->text().toStdString();
        EXPECT_FALSE(form.portReturnWatcher()->Watching());
        EXPECT_EQ(form.Check_Connection->isChecked(), row.connected);
        EXPECT_TRUE(Boxes().errors.empty());
        if (row.connected) {
            ASSERT_TRUE(WaitUntil([&] { return form.Memo2->lineCount() >= linesBefore + 2; }))
                << "no readings after the port came back";
            const std::vector<std::string> commands = window.commands();
            ASSERT_GE(commands.size(), 3u);
            EXPECT_EQ(commands[0], "syst:rem");
            EXPECT_EQ(commands[1], "Func?");
            EXPECT_EQ(commands[2], "Read?");
        } else {
            ProcessEventsFor(200ms);
            EXPECT_TRUE(window.meter().Received().empty()) << "not connected: nothing is sent";
        }
    }
    // The chart marks each loss and return on the time axis.
    if (row.connected) {
        ASSERT_TRUE(chart.recorder().current().has_value());
        int lost = 0;
        int back = 0;
        for (const TrendUnitChange& mark :
             chart.recorder().series(*chart.recorder().current()).unitChanges()) {
            lost += mark.text.starts_with("port lost ");
            back += mark.text.starts_with("back ");
        }
        EXPECT_EQ(lost, row.rounds);
        EXPECT_EQ(back, row.rounds);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, Unplug,
                         testing::Values(UnplugRow{"once_back_at_once", 1, 0, true},
                                         UnplugRow{"three_times_away_a_while", 3, 300, true},
                                         UnplugRow{"while_not_connected", 1, 100, false}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora::test
