// Garbage: random bytes on the line for a while; displays show only readings, the reject box stays
// capped.
#include "app/reading_log_box.h"
#include "serial/comm.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/delivery_watch.h"
#include "tests/faults/fault_test_support.h"
#include "text/convert_error.h"
#include "text/real_conversion.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace velmora::test {
namespace {

constexpr char kXon = 17;

ScriptStep Send(std::string bytes) {
    ScriptStep step;
    step.kind = ScriptStep::Kind::Send;
    step.text = std::move(bytes);
    return step;
}

ScriptStep Answer(ScriptStep::Kind kind, std::string text = {}, std::string rest = {}) {
    ScriptStep step;
    step.kind = kind;
    step.text = std::move(text);
    step.rest = std::move(rest);
    return step;
}

// Line noise of many kinds, from one seed, so a failing run can be repeated
// (VELMORA_FAULT_SEED). Noise may hold XOFF; each burst ends with XON, so the
// line is held now and then but never for good.
class Noise {
public:
    explicit Noise(uint32_t seed)
        : random_(seed) {}

    std::vector<ScriptStep> Steps(int count) {
        std::vector<ScriptStep> steps;
        for (int i = 0; i < count; ++i) {
            steps.push_back(Next());
        }
        return steps;
    }

private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string Bytes(int count, int low, int high) {
        std::string bytes;
        for (int i = 0; i < count; ++i) {
            bytes += static_cast<char>(Pick(low, high));
        }
        return bytes;
    }

    ScriptStep Next() {
        switch (Pick(0, 11)) {
        case 0:
        case 1:
            return Answer(ScriptStep::Kind::Answer); // a proper reading
        case 2:                                      // a 2048-byte burst of anything
            return Send(Bytes(2048, 0, 255) + kXon);
        case 3: // a storm of line ends
        {
            std::string storm;
            for (int n = Pick(1, 400); n > 0; --n) {
                storm += Pick(0, 3) == 0 ? "\r" : "\r\n";
            }
            return Send(storm);
        }
        case 4: // zero bytes before, inside and after a reading
            return Send(std::string(static_cast<size_t>(Pick(0, 3)), '\0') + "+1.2" +
                        std::string(static_cast<size_t>(Pick(0, 2)), '\0') + "5E+00\r\n");
        case 5: // the upper half of the character set
            return Answer(ScriptStep::Kind::Reply, Bytes(Pick(1, 80), 128, 255));
        case 6: // anything as the reply to a query, XON/XOFF aside
        {
            std::string text = Bytes(Pick(0, 120), 0, 255);
            std::erase_if(text, [](char c) { return c == 17 || c == 19; });
            return Answer(ScriptStep::Kind::Reply, text);
        }
        case 7: // a reading cut in two
            return Answer(ScriptStep::Kind::Split, "+4.5678",
                          "9000E-0" + std::to_string(Pick(0, 9)));
        case 8:
            return Answer(ScriptStep::Kind::Overload);
        case 9: // function names, right and wrong
        {
            static const char* const kNames[] = {"\"RES\"", "\"res\"", "\"VOLT:AC\"",
                                                 "\"FOO\"", "\"",      "\"CURR\"\r\n\"FREQ\"",
                                                 "\" PER\""};
            return Answer(ScriptStep::Kind::Reply, kNames[Pick(0, 6)]);
        }
        case 10: // printable junk that looks almost like a reading
        {
            static const char* const kNearly[] = {
                "+1.0E+00x", "1e", "--1", "+.E+", "1,5", "9.9E+9999", "+1.0E+00 +2.0E+00", "NAN"};
            return Send(std::string(kNearly[Pick(0, 7)]) + "\r\n");
        }
        default: {
            ScriptStep pause;
            pause.kind = ScriptStep::Kind::Pause;
            pause.milliseconds = Pick(0, 40);
            return pause;
        }
        }
    }

    std::mt19937 random_;
};

uint32_t Seed() {
    const char* text = std::getenv("VELMORA_FAULT_SEED");
    return text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20240611u;
}

// The whole log as it would be saved.
std::string LogText(ReadingLogBox& box) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(box.writeTo(buffer));
    return buffer.data().toStdString();
}

TEST(Garbage, RandomBytesNeverReachTheDisplaysOrTheLog) {
    const uint32_t seed = Seed();
    const int64_t seconds = SoakSeconds(3);
    std::printf("garbage: seed %u (VELMORA_FAULT_SEED), %lld s\n", seed,
                static_cast<long long>(seconds));
    MeterOptions options;
    options.model.seed = seed;
    WindowOnMeter window(options);
    TForm1& form = window.form();
    DeliveryWatch watch(form);
    Boxes().errors.clear();
    window.connectAndWaitForReading();
    // A fast pace (see the soak test), so that much noise meets the window
    // even in the short form.
    form.Timer1->setInterval(1);
    form.Comm1->SetReadIntervalTimeout(2);

    // First a storm of short junk lines, more than the reject box keeps: each
    // chunk of it is one rejected reply of many lines.
    std::string junk;
    for (int i = 0; i < 1500; ++i) {
        junk += "junk " + std::to_string(i) + "\r\n";
    }
    window.meter().Inject(Send(junk));

    Noise noise(seed);
    int maxRejectLines = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        if (window.meter().PendingSteps() < 16) {
            window.meter().Inject(noise.Steps(32));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        maxRejectLines = std::max(maxRejectLines, form.Memo1->document()->blockCount());
        // The emulator keeps everything it read; only the window is under test.
        if (window.meter().Received().size() > (1u << 20)) {
            window.meter().ClearReceived();
        }
    }

    // The noise stops; the meter answers on its own again and polling goes on.
    ASSERT_TRUE(
        WaitUntil([&] { return window.meter().PendingSteps() == 0; }, std::chrono::seconds(20)));
    const int64_t shownBefore = watch.readingsShown();
    ASSERT_TRUE(WaitUntil([&] { return watch.readingsShown() >= shownBefore + 3; }))
        << "polling did not go on after the noise";

    std::printf("garbage: %lld deliveries, %.1f MB, %lld changed the displays, reject box at most "
                "%d lines\n",
                static_cast<long long>(watch.deliveries()),
                static_cast<double>(watch.bytes()) / 1048576.0,
                static_cast<long long>(watch.readingsShown()), maxRejectLines);
    EXPECT_EQ(watch.faultCount(), 0) << (watch.faults().empty() ? "" : watch.faults().front());
    EXPECT_TRUE(Boxes().errors.empty());
    EXPECT_LE(maxRejectLines, 1000);
    EXPECT_EQ(maxRejectLines, 1000) << "the noise never filled the reject box; raise its share";

    // Every log line is a reading: four fields, the reply text parses.
    const std::string log = LogText(*form.Memo2);
    int64_t lines = 0;
    for (size_t at = log.find("\r\n") + 2; at < log.size();) {
        const size_t end = log.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = log.substr(at, end - at);
        ++lines;
        std::vector<std::string> fields(1);
        for (char c : line) {
            if (c == ',') {
                fields.emplace_back();
            } else {
                fields.back().push_back(c);
            }
        }
        ASSERT_EQ(fields.size(), 4u) << line;
        EXPECT_EQ(fields[0], std::to_string(lines)) << line;
        EXPECT_NO_THROW((void)ParseReal(fields[2], '.')) << line;
        at = end + 2;
    }
    EXPECT_GT(lines, 0);
}

} // namespace
} // namespace velmora::test
