// Bench program: time per Comm1ReceiveData for a numeric reply, and memory after a million lines.
//
// Prints the median and 99th percentile of the handler's time with an empty
// log and again after 1,000,000 logged lines, and the resident memory before
// and after. Run from a Release build: build/release/bench/app/velmora_reply_bench
#include "app/application.h"
#include "app/main_window.h"
#include "app/reading_log_box.h"
#include "app/recording_control.h"
#include "ui/message_boxes.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Boxes are not shown during the bench; an error would be a bug.
class FailingBoxes : public velmora::MessageBoxes {
public:
    void showError(QWidget*, const QString&, const QString& text, const QString&, bool) override {
        std::fprintf(stderr, "unexpected error: %s\n", qPrintable(text));
        std::exit(2);
    }
    SaveChoice askSave(QWidget*, const QString&, const QString&) override {
        return SaveChoice::Discard;
    }
};

double ResidentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1e6;
}

struct Figures {
    double medianMicroseconds;
    double p99Microseconds;
};

// Times `samples` replies; each reply is logged (interval 0).
Figures TimeReplies(velmora::TForm1& form, int samples) {
    static const char reply[] = "+1.16040760E+03\r\n";
    std::vector<double> times;
    times.reserve(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i) {
        const auto start = Clock::now();
        form.Comm1ReceiveData(form.Comm1, reply, sizeof reply - 1);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100]};
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    velmora::TApplication application(argc, argv);
    FailingBoxes boxes;
    velmora::SetMessageBoxes(&boxes);
    QTemporaryDir folder;
    const long lines = argc > 1 ? std::atol(argv[1]) : 1000000;

    velmora::TForm1 form(nullptr, folder.filePath(QStringLiteral("velmora.ini")).toStdString());
    form.Comm1ReceiveData(form.Comm1, "\"RES\"\r\n", 7);
    const double startMegabytes = ResidentMegabytes();

    const Figures empty = TimeReplies(form, 10000);
    // Fill the log up to the target with the same handler.
    static const char reply[] = "+1.16040760E+03\r\n";
    for (long i = form.Memo2->lineCount(); i < lines; ++i) {
        form.Comm1ReceiveData(form.Comm1, reply, sizeof reply - 1);
        if (i % 64 == 0) {
            QCoreApplication::processEvents(); // as the event loop does between replies
        }
    }
    const double fullMegabytes = ResidentMegabytes();

    const Figures full = TimeReplies(form, 10000);
    const long long fullLines = form.Memo2->lineCount();

    // The same with every reading recorded to a file as it comes; memory
    // must not grow with the recording's length.
    const QString recordingFile = folder.filePath(QStringLiteral("run.csv"));
    if (!form.recording()->startInto(recordingFile)) {
        return 2;
    }
    const Figures recordingFirst = TimeReplies(form, 10000);
    const double recordingStartMegabytes = ResidentMegabytes();
    for (int i = 0; i < 200000; ++i) {
        form.Comm1ReceiveData(form.Comm1, reply, sizeof reply - 1);
        if (i % 64 == 0) {
            QCoreApplication::processEvents();
        }
    }
    const Figures recordingLater = TimeReplies(form, 10000);
    const double recordingEndMegabytes = ResidentMegabytes();
    const uint64_t recorded = form.recording()->writer().Readings();
    form.recording()->stop();

    std::printf("reply path (parse, scale, format, two display texts, one log line)\n");
    std::printf("  empty log:        median %7.1f us   p99 %7.1f us\n", empty.medianMicroseconds,
                empty.p99Microseconds);
    std::printf("  %lld lines: median %7.1f us   p99 %7.1f us\n", fullLines,
                full.medianMicroseconds, full.p99Microseconds);
    std::printf("resident memory: %.1f MB at start, %.1f MB after %ld lines (growth %.1f MB)\n",
                startMegabytes, fullMegabytes, lines, fullMegabytes - startMegabytes);
    std::printf(
        "  recording too:    median %7.1f us   p99 %7.1f us   (target median <= 50, p99 <= 200)\n",
        recordingFirst.medianMicroseconds, recordingFirst.p99Microseconds);
    std::printf("  after %llu recorded: median %7.1f us   p99 %7.1f us\n",
                static_cast<unsigned long long>(recorded), recordingLater.medianMicroseconds,
                recordingLater.p99Microseconds);
    std::printf("resident memory while recording 200,000 more (the log box grows too, by about\n"
                "39 bytes a line): %.1f -> %.1f MB\n",
                recordingStartMegabytes, recordingEndMegabytes);
    std::printf("log store: %lld bytes in %lld lines\n",
                static_cast<long long>(form.Memo2->store().byteCount()),
                static_cast<long long>(form.Memo2->store().lineCount()));
    return 0;
}
