// Soak: many readings through the real main window and the emulated meter; every line kept, memory
// bounded.
#include "app/reading_log_box.h"
#include "serial/comm.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/delivery_watch.h"
#include "tests/faults/fault_test_support.h"
#include "text/convert_error.h"
#include "text/real_conversion.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace velmora::test {
namespace {

// Checks the saved log line by line: numbered from 1 without a gap, four
// fields, the unit of the meter's function, a reading as the meter sends it.
// Returns the number of reading lines, or -1 after the first fault.
int64_t CheckSavedLog(const std::string& text, const std::string& unit) {
    const std::string header = "No.,Function,Value,Time\r\n";
    EXPECT_EQ(text.compare(0, header.size(), header), 0) << text.substr(0, 80);
    int64_t number = 0;
    for (size_t at = header.size(); at < text.size();) {
        const size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "the last line has no line end";
            return -1;
        }
        const std::string_view line(text.data() + at, end - at);
        ++number;
        const std::string expectedStart = std::to_string(number) + "," + unit + ",";
        const size_t third = line.find(',', expectedStart.size());
        if (line.substr(0, expectedStart.size()) != expectedStart ||
            third == std::string_view::npos ||
            line.find(',', third + 1) != std::string_view::npos) {
            ADD_FAILURE() << "line " << number << " is '" << line << "'";
            return -1;
        }
        try {
            (void)ParseReal(line.substr(expectedStart.size(), third - expectedStart.size()), '.');
        } catch (const EConvertError&) {
            ADD_FAILURE() << "line " << number << " holds no reading: '" << line << "'";
            return -1;
        }
        at = end + 2;
    }
    return number;
}

TEST(Soak, ReadingsThroughTheMainWindowStayCorrectAndBounded) {
    const int64_t readings = SoakSetting("VELMORA_SOAK_READINGS", 1000, 1000000);
    MeterOptions options; // no byte timing
    // Resistance, so that overloads (+9.9E+37, shown as 999999999 MOHM) come up too.
    options.model.startFunction = MeterFunction::Resistance;
    WindowOnMeter window(options);
    TForm1& form = window.form();
    DeliveryWatch watch(form);
    Boxes().errors.clear();
    window.connectAndWaitForReading();
    // Only the pace is the test's own: with the 50 ms tick and the 26 ms quiet
    // time that ends a reply, a million readings would take a day. The cycle
    // and the reply handling are the window's, unchanged.
    form.Timer1->setInterval(1);
    form.Comm1->SetReadIntervalTimeout(1);
    const ProcessFigures start = SampleProcess();
    ProcessFigures warm = start;
    bool warmedUp = false;
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    int64_t logged = 0;
    int64_t lastLogged = -1;
    int64_t nextReport = 100000;
    while ((logged = form.Memo2->lineCount() - 1) < readings) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (logged != lastLogged) {
            lastLogged = logged;
            sinceProgress.restart();
        }
        ASSERT_LT(sinceProgress.elapsed(), 30000)
            << "polling stopped after " << logged << " readings";
        if (!warmedUp && logged >= readings / 10) {
            warm = SampleProcess();
            warmedUp = true;
        }
        // The emulator keeps every command it has read; dropping them now and
        // then keeps its records out of the figures.
        if (logged % 5000 == 0) {
            window.meter().ClearReceived();
        }
        if (logged >= nextReport) {
            nextReport += 100000;
            std::printf("soak: %lld readings, %s\n", static_cast<long long>(logged),
                        Describe(SampleProcess()).c_str());
            std::fflush(stdout);
        }
    }
    const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
    form.Check_Connection->setChecked(false);
    const ProcessFigures end = SampleProcess();

    std::printf("soak: %lld readings in %.1f s (%.0f a second), %lld deliveries\n",
                static_cast<long long>(logged), seconds, static_cast<double>(logged) / seconds,
                static_cast<long long>(watch.deliveries()));
    std::printf("soak: connected:      %s\n", Describe(start).c_str());
    std::printf("soak: after %lld:  %s\n", static_cast<long long>(readings / 10),
                Describe(warm).c_str());
    std::printf("soak: at the end:     %s\n", Describe(end).c_str());
    std::printf("soak: log store %.1f MB in %lld lines; growth after warm-up %.1f MB\n",
                static_cast<double>(form.Memo2->store().byteCount()) / 1048576.0,
                static_cast<long long>(form.Memo2->store().lineCount()),
                static_cast<double>(end.residentKb - warm.residentKb) / 1024.0);

    EXPECT_EQ(watch.faultCount(), 0) << (watch.faults().empty() ? "" : watch.faults().front());
    EXPECT_TRUE(Boxes().errors.empty());
    EXPECT_EQ(end.threads, start.threads);
    EXPECT_EQ(end.descriptors, start.descriptors);

    // Every logged reading is in the saved file, in order.
    const std::string csv = window.folder() / "soak.csv";
    form.chooseSaveFile = [&] { return QString::fromStdString(csv); };
    form.Button1Click();
    const std::optional<std::string> saved = ReadBytes(csv);
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(CheckSavedLog(*saved, "OHM"), form.Memo2->lineCount() - 1);

    // A sanity bound only, far above what the log text itself needs (some 35
    // bytes a reading); the figures above are what counts. Sanitizers keep
    // freed memory aside on purpose, so there it is not applied.
    if (!kUnderSanitizer) {
        EXPECT_LT(end.residentKb - warm.residentKb, 128 * 1024 + readings * 200 / 1024);
    }
}

} // namespace
} // namespace velmora::test
