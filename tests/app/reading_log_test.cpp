// The reading log: line counts, header texts, spilling to the store, the exact bytes saved.
#include "tests/app/app_test_support.h"

#include "app/reading_log_box.h"
#include "app/reading_log_store.h"
#include "tests/support/file_faults.h"
#include "tests/support/watchdog.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <set>
#include <sys/ioctl.h>
#include <unistd.h>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;

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

TEST(ReadingLogStore, KeepsEveryByteAcrossItsChunks) {
    // A long run: appends of 700,000 bytes cross the store's 1 MiB chunks
    // at every place, one of them ending a chunk exactly.
    // A store that loops at a chunk's end would hang the run: give up on it
    // here, well before the run's own limit.
    const Watchdog watchdog("ReadingLogStore: appending", std::chrono::seconds(20));
    ReadingLogStore store;
    std::string all;
    const std::string line = std::string(68, '7') + "\r\n"; // 70 bytes
    std::string piece;
    for (int i = 0; i < 10000; ++i) {
        piece += line;
    }
    for (int i = 0; i < 4; ++i) {
        store.appendLines(piece, 10000);
        all += piece;
    }
    const std::string exact(1048576 * 3 - all.size(), 'x'); // fills the third chunk to the byte
    store.appendLines(exact, 0);
    all += exact;
    store.appendLines(line, 1);
    all += line;
    std::string written;
    int chunks = 0;
    store.forEachChunk([&](std::string_view chunk) {
        written += chunk;
        ++chunks;
    });
    // A few large pieces: a piece per line would cost more than the text.
    EXPECT_EQ(chunks, 4);
    EXPECT_EQ(store.lineCount(), 40001);
    EXPECT_EQ(store.byteCount(), static_cast<int64_t>(all.size()));
    EXPECT_TRUE(written == all) << "the saved bytes differ";
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
        // The box holds 11,000 lines; the next one sends the oldest 1,000 to the store.
        if (i + 1 == 11000) {
            EXPECT_EQ(box.store().lineCount(), 0);
        } else if (i + 1 == 11001) {
            EXPECT_EQ(box.store().lineCount(), 1000);
            EXPECT_EQ(box.document()->blockCount(), 10001 + 1) << "and the place after the last";
        }
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

TEST_F(LogActionsTest, TheSaveDialogGivesTheFileChosenAndNothingWhenCancelled) {
    // A name typed without an extension gets ".csv".
    const QString typed = QString::fromStdString(folder() / "chosen");
    const QString chosen = typed + QStringLiteral(".csv");
    for (const bool accept : {true, false}) {
        SCOPED_TRACE(accept ? "Save pressed" : "Cancel pressed");
        QTimer::singleShot(0, form().SaveDialog1, [&] {
            form().SaveDialog1->selectFile(typed);
            QDialog& dialog = *form().SaveDialog1; // its own accept() checks the name first
            accept ? dialog.accept() : dialog.reject();
        });
        EXPECT_EQ(form().chooseSaveFile(), accept ? chosen : QString());
    }
}

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

// Sets or clears the append-only attribute: a folder then takes new entries but
// lets none be renamed or removed, as a sticky folder treats another user's file.
bool SetAppendOnly(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_APPEND_FL) : (flags & ~FS_APPEND_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

enum class Refusal { NewFiles, Renames, None };

struct InPlaceRow {
    const char* name;
    Refusal folder;
    bool hardLinked; // the target has a second name
};

void PrintTo(const InPlaceRow& row, std::ostream* out) {
    *out << row.name;
}

class LogSaveInPlace : public LogActionsTest, public ::testing::WithParamInterface<InPlaceRow> {};

// Every save a plain truncate-and-write could do succeeds: the folder may
// refuse the temporary file or the rename, as long as the file is writable.
TEST_P(LogSaveInPlace, WritesTheLogIntoTheExistingFile) {
    const InPlaceRow& row = GetParam();
    FaultScene scene;
    const std::string folder = scene.folder / "out";
    fs::create_directory(folder);
    const std::string path = folder + "/log.csv";
    WriteBytes(path, "old content that is longer than the new one\r\n");
    const std::string other = scene.folder / "other-name.csv";
    if (row.hardLinked) {
        fs::create_hard_link(path, other);
    }
    const std::set<std::string> before = Listing(folder);
    bool appendOnly = false;
    switch (row.folder) {
    case Refusal::NewFiles:
        if (!scene.makeReadOnly(folder)) {
            GTEST_SKIP() << "root without a file system that has the immutable attribute";
        }
        break;
    case Refusal::Renames:
        if (!IsRoot() || !SetAppendOnly(folder, true)) {
            GTEST_SKIP() << "a folder that refuses renames needs root (append-only attribute)";
        }
        appendOnly = true;
        break;
    case Refusal::None:
        break;
    }
    form().Memo2->appendLine("1,OHM,+1.16040760E+03,12:00:00");
    saveTo(path);
    if (appendOnly) {
        SetAppendOnly(folder, false);
    }
    EXPECT_TRUE(Boxes().errors.empty())
        << (Boxes().errors.empty() ? "" : Boxes().errors[0].text.toStdString());
    const std::string expected = "No.,Function,Value,Time\r\n1,OHM,+1.16040760E+03,12:00:00\r\n";
    EXPECT_EQ(ReadBytes(path), std::optional<std::string>(expected));
    if (row.hardLinked) {
        EXPECT_EQ(ReadBytes(other), std::optional<std::string>(expected)) << "the names parted";
    }
    EXPECT_FALSE(form().hasUnsavedReadings());
    if (!appendOnly) {
        // (An append-only folder keeps the temporary file: it lets nothing go.)
        EXPECT_EQ(Listing(folder), before) << "a temporary file was left behind";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LogSaveInPlace,
    ::testing::Values(InPlaceRow{"folder_takes_no_new_files", Refusal::NewFiles, false},
                      InPlaceRow{"folder_takes_no_renames", Refusal::Renames, false},
                      InPlaceRow{"hard_linked_file", Refusal::None, true}),
    [](const auto& row) { return std::string(row.param.name); });

// Presses a key in the log box, as the user would.
void PressIn(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(widget, &release);
}

TEST_F(LogActionsTest, LinesDeletedByTheUserStayDeletedAfterTheSpill) {
    // Enough readings that the oldest thousand have left the box for the store.
    const int readings = ReadingLogBox::kLinesInBox + ReadingLogBox::kLinesMovedAtOnce + 1;
    for (int i = 0; i < readings; ++i) {
        form().Comm1ReceiveData(form().Comm1, "+1.16040760E+03\r\n", 17);
    }
    ASSERT_GT(form().Memo2->store().lineCount(), 0) << "no spill happened";

    // Select all, delete: the log the user sees is empty, and so is the saved file.
    form().Memo2->setFocus();
    PressIn(form().Memo2, Qt::Key_A, Qt::ControlModifier);
    PressIn(form().Memo2, Qt::Key_Delete);
    EXPECT_TRUE(form().Memo2->toPlainText().isEmpty());
    EXPECT_EQ(form().Memo2->lineCount(), 0);
    saveTo(folder() / "after-delete.csv");
    const std::optional<std::string> saved = ReadBytes(folder() / "after-delete.csv");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->size(), 0u) << "deleted lines came back: " << saved->substr(0, 80);

    // The next reading is numbered after what the user sees: nothing.
    form().Comm1ReceiveData(form().Comm1, "+1.16040760E+03\r\n", 17);
    EXPECT_EQ(form().Memo2->toPlainText().left(6), QStringLiteral("0,,+1."));
}

TEST_F(LogActionsTest, DeletingInsideTheBoxKeepsTheLinesBeforeIt) {
    const int readings = ReadingLogBox::kLinesInBox + ReadingLogBox::kLinesMovedAtOnce + 1;
    for (int i = 0; i < readings; ++i) {
        form().Comm1ReceiveData(form().Comm1, "+1.16040760E+03\r\n", 17);
    }
    const int64_t stored = form().Memo2->store().lineCount();
    ASSERT_GT(stored, 0);
    const int64_t lines = form().Memo2->lineCount();
    // The last line removed with the keyboard: the earlier lines all stay.
    form().Memo2->setFocus();
    PressIn(form().Memo2, Qt::Key_End, Qt::ControlModifier);
    PressIn(form().Memo2, Qt::Key_Up);
    PressIn(form().Memo2, Qt::Key_End, Qt::ShiftModifier | Qt::ControlModifier);
    PressIn(form().Memo2, Qt::Key_Delete);
    EXPECT_EQ(form().Memo2->store().lineCount(), stored);
    EXPECT_EQ(form().Memo2->lineCount(), lines - 1);
    // The first line in sight, and then a character of the next: the lines
    // before them, out of sight, were not part of what the user removed.
    PressIn(form().Memo2, Qt::Key_Home, Qt::ControlModifier);
    PressIn(form().Memo2, Qt::Key_Down, Qt::ShiftModifier);
    PressIn(form().Memo2, Qt::Key_Delete);
    PressIn(form().Memo2, Qt::Key_Delete);
    EXPECT_EQ(form().Memo2->store().lineCount(), stored);
    EXPECT_EQ(form().Memo2->lineCount(), lines - 2);
    saveTo(folder() / "after-edit.csv");
    const std::string saved = ReadBytes(folder() / "after-edit.csv").value_or("");
    EXPECT_EQ(saved.rfind("No.,Function,Value,Time\r\n", 0), 0u) << saved.substr(0, 80);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), lines - 2);
}

} // namespace
} // namespace velmora::test
