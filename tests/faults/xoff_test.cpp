// XOFF: the meter holds the line while commands wait to go out; closing never waits for the line.
#include "app/main_window.h"
#include "serial/comm.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/fault_test_support.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

namespace velmora::test {
namespace {

using namespace std::chrono_literals;

struct XoffRow {
    const char* name;
    void (*close)(TForm1&);
    bool windowCloses;
};

void PrintTo(const XoffRow& row, std::ostream* out) {
    *out << row.name;
}

const XoffRow kXoffRows[] = {
    {"close_port", [](TForm1& form) { form.Comm1->ClosePort(); }, false},
    {"exit_button", [](TForm1& form) { form.Button4->click(); }, true},
    {"close_box", [](TForm1& form) { form.close(); }, true},
};

class Xoff : public testing::TestWithParam<XoffRow> {};

TEST_P(Xoff, HeldLineDoesNotHoldUpClosing) {
    WindowOnMeter window;
    TForm1& form = window.form();
    Boxes().answer = MessageBoxes::SaveChoice::Discard;
    bool closed = false;
    QObject::connect(&form, &TForm1::closed, [&closed] { closed = true; });
    window.connectAndWaitForReading();

    // XOFF, then a byte that proves the line discipline has seen it: the byte
    // reaches the window as a reply of its own (it lands in Memo1), after which
    // the cycle sends its next query into the held line.
    window.meter().Inject(ParseScript("send \\x13M\\r\\n"));
    ASSERT_TRUE(WaitUntil([&] {
        return form.Memo1->document()->lastBlock().previous().text().endsWith(QLatin1Char('M')) ||
               form.Memo1->document()->lastBlock().text().endsWith(QLatin1Char('M'));
    })) << "the marker after XOFF never arrived";
    ProcessEventsFor(200ms);
    const std::string heard = window.meter().Received();
    for (int i = 0; i < 3; ++i) {
        form.Button3_Send->click(); // straight to the port, past the cycle
    }
    ProcessEventsFor(200ms);
    ASSERT_EQ(window.meter().Received(), heard) << "the line was not held";
    ASSERT_FALSE(form.Comm1->SendQueueEmpty()) << "nothing waits to go out";

    QElapsedTimer clock;
    {
        // Generous: only a broken close would come near it. How fast a close is
        // under XOFF is measured by bench/serial (target 100 ms).
        HangGuard guard(30s, std::string("closing (") + GetParam().name + ") under XOFF");
        clock.start();
        GetParam().close(form);
    }
    std::printf("xoff: %s returned after %.2f ms with the line held\n", GetParam().name,
                static_cast<double>(clock.nsecsElapsed()) / 1e6);
    EXPECT_FALSE(form.Comm1->PortOpen());
    EXPECT_TRUE(form.Comm1->SendQueueEmpty()) << "the held requests were not dropped";
    EXPECT_EQ(closed, GetParam().windowCloses);

    // The dropped commands never reach the meter, even once it lets go.
    window.meter().Inject(ParseScript("xon"));
    ProcessEventsFor(100ms);
    EXPECT_EQ(window.meter().Received().find("func?", heard.size()), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Rows, Xoff, testing::ValuesIn(kXoffRows),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora::test
