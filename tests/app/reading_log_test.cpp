// The reading log: line counts, header texts, spilling to the store, the exact bytes saved.
#include "tests/app/app_test_support.h"

#include "app/reading_log_box.h"
#include "tests/support/file_faults.h"

#include <QBuffer>
#include <QComboBox>
#include <QPushButton>
#include <QTextBlock>

#include <gtest/gtest.h>

namespace velmora::test {
namespace {

std::string Written(const ReadingLogBox& box) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(box.writeTo(buffer));
    return buffer.data().toStdString();
}

TEST(ReadingLogBox, CountsLogicalLinesAndWritesCrLf) {
    ReadingLogBox box;
    box.resize(265, 233);
    box.resetTo("No.,Function,Value,Time");
    EXPECT_EQ(box.lineCount(), 1);
    EXPECT_EQ(Written(box), "No.,Function,Value,Time\r\n");
    EXPECT_EQ(Written(box).size(), 25u);

    // A line far wider than the box wraps on screen but is one line.
    const std::string wide(300, 'x');
    box.appendLine(wide);
    box.appendLine("2,OHM,+1.0E+00,12:00:00");
    EXPECT_EQ(box.lineCount(), 3);
    EXPECT_EQ(Written(box),
              "No.,Function,Value,Time\r\n" + wide + "\r\n2,OHM,+1.0E+00,12:00:00\r\n");
}

TEST(ReadingLogBox, TypedTextCountsAndIsKept) {
    ReadingLogBox box;
    box.resetTo("No.,Function,Value,Time");
    // The user types two lines, the last one without Enter.
    box.setPlainText(QStringLiteral("No.,Function,Value,Time\nnote: probe 2 Ω\nstill typing"));
    EXPECT_EQ(box.lineCount(), 3);
    box.appendLine("4,OHM,+1.0E+00,12:00:00");
    EXPECT_EQ(box.lineCount(), 4);
    EXPECT_EQ(Written(box), "No.,Function,Value,Time\r\nnote: probe 2 \xce\xa9\r\nstill typing\r\n"
                            "4,OHM,+1.0E+00,12:00:00\r\n");
}

TEST(ReadingLogBox, OldLinesMoveToTheStoreAndStillCount) {
    ReadingLogBox box;
    box.resetTo("No.,Function,Value,Time");
    std::string expected = "No.,Function,Value,Time\r\n";
    const int lines = ReadingLogBox::kLinesInBox + 2 * ReadingLogBox::kLinesMovedAtOnce + 7;
    for (int i = 1; i <= lines; ++i) {
        const std::string line = std::to_string(i) + ",OHM,+1.0E+00,12:00:00";
        box.appendLine(line);
        expected += line + "\r\n";
    }
    EXPECT_EQ(box.lineCount(), lines + 1);
    EXPECT_GT(box.store().lineCount(), 0);
    EXPECT_LE(box.document()->blockCount(),
              ReadingLogBox::kLinesInBox + ReadingLogBox::kLinesMovedAtOnce + 1);
    EXPECT_EQ(Written(box), expected);

    box.resetTo("No,Function,Value,Time");
    EXPECT_EQ(box.lineCount(), 1);
    EXPECT_EQ(box.store().lineCount(), 0);
    EXPECT_EQ(Written(box), "No,Function,Value,Time\r\n");
}

class LogActionsTest : public ::testing::Test {
protected:
    void SetUp() override { Boxes().errors.clear(); }

    void saveTo(const std::string& path) {
        form().chooseSaveFile = [path] { return QString::fromStdString(path); };
        form().Button1->click();
    }
    TForm1& form() { return window_.form(); }
    TempFolder& folder() { return window_.folder(); }

    WindowOnMeter window_;
};

TEST_F(LogActionsTest, SavingRightAfterStartWritesTheHeaderOnly) {
    saveTo(folder() / "log.csv");
    EXPECT_TRUE(Boxes().errors.empty());
    EXPECT_EQ(ReadBytes(folder() / "log.csv"),
              std::optional<std::string>("No.,Function,Value,Time\r\n"));
}

TEST_F(LogActionsTest, ClearWritesTheOtherHeaderAndNumberingStartsAgain) {
    form().Memo2->appendLine("1,OHM,+1.0E+00,12:00:00");
    form().ClearBtn->click();
    EXPECT_EQ(form().Memo2->lineCount(), 1);
    saveTo(folder() / "log.csv");
    EXPECT_EQ(ReadBytes(folder() / "log.csv"),
              std::optional<std::string>("No,Function,Value,Time\r\n"));
}

TEST_F(LogActionsTest, ReadingsAreLoggedWithTheBoxLineNumber) {
    window_.connectAndWaitForReading();
    ASSERT_TRUE(WaitUntil([&] { return form().Memo2->lineCount() >= 3; }));
    saveTo(folder() / "log.csv");
    const std::string saved = ReadBytes(folder() / "log.csv").value_or("");
    EXPECT_EQ(saved.rfind("No.,Function,Value,Time\r\n1,V DC,", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\n2,V DC,"), std::string::npos) << saved;
    EXPECT_FALSE(form().hasUnsavedReadings());
}

TEST_F(LogActionsTest, ClearDoesNotResetTheReadingCounter) {
    form().COMBOX_INTERVAL->setEditText(QStringLiteral("2"));
    form().Comm1ReceiveData(form().Comm1, "+1.0E+00\r\n", 10);
    form().Comm1ReceiveData(form().Comm1, "+2.0E+00\r\n", 10);
    EXPECT_EQ(form().Memo2->lineCount(), 1);
    form().ClearBtn->click();
    EXPECT_EQ(form().readingCounter(), 2);
    // The third reading since the last logged one is logged, as number 1.
    form().Comm1ReceiveData(form().Comm1, "+3.0E+00\r\n", 10);
    EXPECT_EQ(form().Memo2->lineCount(), 2);
    EXPECT_EQ(form().Memo2->document()->lastBlock().previous().text().left(12),
              QStringLiteral("1,,+3.0E+00,"));
}

TEST_F(LogActionsTest, CancelledDialogWritesNothing) {
    form().chooseSaveFile = [] { return QString(); };
    form().Button1->click();
    EXPECT_TRUE(Boxes().errors.empty());
}

TEST_F(LogActionsTest, UnwritableTargetIsReportedAndTouchesNothing) {
    const std::string path = folder() / "missing/log.csv";
    saveTo(path);
    ASSERT_EQ(Boxes().errors.size(), 1u);
    const QString text = Boxes().errors[0].text;
    EXPECT_TRUE(text.startsWith(QString::fromStdString("Cannot create file \"" + path + "\". ")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith('.'));
}

TEST_F(LogActionsTest, FailedWriteLeavesTheOldFileIntact) {
    const std::string path = folder() / "log.csv";
    WriteBytes(path, "precious\r\n");
    for (int i = 0; i < 2000; ++i) {
        form().Memo2->appendLine(std::to_string(i) + ",OHM,+1.16040760E+03,12:00:00");
    }
    {
        // A file-size limit makes the write fail half-way, as a full disk would.
        FileSizeLimit limit(4096);
        saveTo(path);
    }
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].text, QStringLiteral("Stream write error."));
    EXPECT_EQ(ReadBytes(path), std::optional<std::string>("precious\r\n"));
}

TEST_F(LogActionsTest, IntervalBoxReportsEveryKeystroke) {
    form().COMBOX_INTERVAL->setEditText(QString());
    ASSERT_EQ(Boxes().errors.size(), 1u);
    EXPECT_EQ(Boxes().errors[0].text, QStringLiteral("'' is not a valid integer value."));
    EXPECT_EQ(Boxes().errors[0].title, QStringLiteral("Velmora_app_tests"));
    EXPECT_EQ(form().logInterval(), 0);

    form().COMBOX_INTERVAL->setEditText(QStringLiteral("1"));
    EXPECT_EQ(form().logInterval(), 1);
    form().COMBOX_INTERVAL->setEditText(QStringLiteral("12"));
    EXPECT_EQ(form().logInterval(), 12);
    form().COMBOX_INTERVAL->setCurrentIndex(7);
    EXPECT_EQ(form().logInterval(), 100);
    form().COMBOX_INTERVAL->setEditText(QStringLiteral("-3"));
    EXPECT_EQ(form().logInterval(), -3);
    EXPECT_EQ(Boxes().errors.size(), 1u);
}

} // namespace
} // namespace velmora::test
