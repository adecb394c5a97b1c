// The window against runs recorded from the build before the acquisition
// engine: connect, a function button, an Advanced change, a burst, a lost
// port and its return, disconnect. The same bytes, each within a tick.
#include "tests/acquisition/recorded_run.h"
#include "tests/app/app_test_support.h"

#include "measure/advanced_page.h"
#include "serial/comm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

// How the run is driven; returns how many of the meter's commands it covers
// (0: it never got there).
using Drive = std::function<size_t(WindowOnMeter&)>;

struct WindowRun {
    const char* name;
    const char* script; // the meter's, for a lost port
    Drive drive;
};

size_t WaitThroughReads(WindowOnMeter& window, size_t from, int reads) {
    size_t through = 0;
    WaitUntil([&] { return (through = ThroughReads(window.commands(), from, reads)) > 0; }, 20s);
    return through;
}

// Connected, and `reads` readings asked for and answered, nothing sent since.
bool ConnectAndRead(WindowOnMeter& window, int reads) {
    window.form().Check_Connection->setChecked(true);
    return WaitUntil(
        [&] {
            const std::vector<std::string> commands = window.commands();
            const size_t through = ThroughReads(commands, 0, reads);
            return through > 0 && through == commands.size() && window.form().canSend() == 1;
        },
        20s);
}

// A setting changed on the Advanced page, then three readings.
size_t ChangeAndRead(WindowOnMeter& window, const std::function<void(AdvancedPage&)>& change,
                     const std::string& first) {
    if (!ConnectAndRead(window, 3)) {
        return 0;
    }
    change(*window.form().advancedPage());
    if (!WaitUntil([&] { return IndexOf(window.commands(), first) < window.commands().size(); },
                   20s)) {
        return 0;
    }
    return WaitThroughReads(window, IndexOf(window.commands(), first), 3);
}

const WindowRun kRuns[] = {
    {"connect", "",
     [](WindowOnMeter& window) {
         window.form().Check_Connection->setChecked(true);
         return WaitThroughReads(window, 0, 5);
     }},
    {"function-button", "",
     [](WindowOnMeter& window) -> size_t {
         if (!ConnectAndRead(window, 3)) {
             return 0;
         }
         window.form().OHM2_Btn->click();
         return WaitThroughReads(window, window.commands().size(), 3);
     }},
    {"advanced-change", "",
     [](WindowOnMeter& window) {
         return ChangeAndRead(
             window,
             [](AdvancedPage& page) {
                 const int index = page.NplcBox->findData(1.0);
                 page.NplcBox->setCurrentIndex(index);
                 emit page.NplcBox->activated(index); // as a click would
             },
             "CONF:VOLT:DC");
     }},
    {"burst", "",
     [](WindowOnMeter& window) {
         return ChangeAndRead(
             window,
             [](AdvancedPage& page) {
                 page.SamplesBox->setValue(5);
                 emit page.SamplesBox->editingFinished();
             },
             "SAMP:COUN 5");
     }},
    {"lost-port", "answer\nanswer\nanswer\nanswer\nhangup reopen 1000\n",
     [](WindowOnMeter& window) -> size_t {
         window.form().Check_Connection->setChecked(true);
         if (!WaitUntil(
                 [&] {
                     return IndexOf(window.commands(), "syst:rem", 1) < window.commands().size();
                 },
                 20s)) {
             return 0;
         }
         return WaitThroughReads(window, IndexOf(window.commands(), "syst:rem", 1), 3);
     }},
    {"disconnect", "",
     [](WindowOnMeter& window) -> size_t {
         if (!ConnectAndRead(window, 3)) {
             return 0;
         }
         window.form().Check_Connection->setChecked(false);
         if (!WaitUntil(
                 [&] { return IndexOf(window.commands(), "syst:loc") < window.commands().size(); },
                 20s)) {
             return 0;
         }
         return IndexOf(window.commands(), "syst:loc") + 1;
     }},
};

class RecordedRuns : public ::testing::TestWithParam<WindowRun> {};

TEST_P(RecordedRuns, TheWindowSendsWhatWasRecorded) {
    const WindowRun& run = GetParam();
    TempFolder links;
    MeterOptions options;
    options.model.rangeChangeChance = 0;
    options.model.overloadChance = 0;
    options.linkPath = links / "meter"; // a lost port comes back under its name
    options.script = ParseScript(run.script);
    WindowOnMeter window(options);
    TForm1& form = window.form();
    form.Comm1->ClosePort();
    form.Comm1->SetCommName(options.linkPath);
    form.Comm1->OpenPort();
    // The program's own pause, which holds the cycle as it does on a bench.
    form.pause = [](int milliseconds) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    };

    const size_t covered = run.drive(window);
    ASSERT_GT(covered, 0u) << "the run did not get through";
    const Trace trace = TraceOf(window.commands(), window.meter().CommandTimes(), covered);
    if (RecordRunIfAsked(std::string("window-") + run.name, trace)) {
        return;
    }
    const Trace recorded = RecordedRun(std::string("window-") + run.name);
    ASSERT_FALSE(recorded.empty()) << RecordedRunPath(std::string("window-") + run.name);
    const std::vector<std::string> differences = TraceDifferences(recorded, trace);
    EXPECT_TRUE(differences.empty()) << ::testing::PrintToString(differences) << "\n"
                                     << FormatTrace(trace);
}

INSTANTIATE_TEST_SUITE_P(Window, RecordedRuns, ::testing::ValuesIn(kRuns),
                         [](const ::testing::TestParamInfo<WindowRun>& row) {
                             std::string name = row.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

} // namespace
} // namespace velmora::test
