// Hostile files: odd settings files, folders that refuse writes, and stored character sets cut or
// overlong.
#include "app/main_window.h"
#include "app/reading_log_box.h"
#include "lcd/character_collection.h"
#include "lcd/lcd_matrix.h"
#include "lcd/list_error.h"
#include "lcd/main_window_display.h"
#include "lcd/read_error.h"
#include "lcd/stream_reader.h"
#include "lcd/stream_writer.h"
#include "serial/comm.h"
#include "settings/ini_file.h"
#include "tests/app/app_test_support.h"
#include "tests/faults/fault_test_support.h"
#include "tests/support/file_faults.h"
#include "ui/exception_report.h"
#include "ui/port_error_box.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

namespace velmora::test {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::vector<QString> ErrorTexts() {
    std::vector<QString> texts;
    for (const auto& box : Boxes().errors) {
        texts.push_back(box.text);
    }
    return texts;
}

// ---------------------------------------------------------------------------
// Settings files met at start-up.

const std::string kDefaults = "[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n";
const std::string kNotAnInteger = "'' is not a valid integer value.";

enum class Lock { None, ReadOnlyFolder, ReadOnlyFile, PathIsFolder, FullDisk, Fifo, DevZero };

struct SettingsRow {
    const char* name;
    std::optional<std::string> content; // none: no file at start
    Lock lock;
    // The file after start-up; none: as it was (or still absent).
    std::optional<std::string> fileAfter;
    bool writeRefused;                // the default writes fail: one "Unable to write to" report
    std::string statusPanel;          // empty: FormShow ended before it (bad baud rate)
    std::string portName;             // the name in the port error box; empty: no box
    std::string baudReport;           // the conversion report of FormShow, if any
    const char* unreadable = nullptr; // why the file is reported unreadable at start, if it is
};

void PrintTo(const SettingsRow& row, std::ostream* out) {
    *out << row.name;
}

std::string Repeat(char c, size_t count) {
    return std::string(count, c);
}

const std::string kLongName = Repeat('A', 100000);
const std::string kCutName = Repeat('A', 2047);

const SettingsRow kSettingsRows[] = {
    {"no_file", std::nullopt, Lock::None, kDefaults, false, "com1,9600,,8,1", "com1", ""},
    {"missing_section", "[Other]\r\nkey=\x01\xff\r\n", Lock::None,
     "[Other]\r\nkey=\x01\xff\r\n" + kDefaults, false, "com1,9600,,8,1", "com1", ""},
    {"section_without_keys", "[COM Info]\r\n; only a note\r\n\r\n[Next]\r\na=b\r\n", Lock::None,
     kDefaults + "; only a note\r\n\r\n[Next]\r\na=b\r\n", false, "com1,9600,,8,1", "com1", ""},
    {"no_line_end_at_all", "[COM Info]", Lock::None, kDefaults, false, "com1,9600,,8,1", "com1",
     ""},
    {"keys_on_the_header_line", "[COM Info]Port=com2 baudrate=4800", Lock::None,
     "[COM Info]Port=com2 baudrate=4800\r\nPort=com1\r\nbaudrate=9600\r\n", false, "com1,9600,,8,1",
     "com1", ""},
    {"lf_only_without_last_line_end", "[COM Info]\nPort=com2\nbaudrate=4800", Lock::None,
     std::nullopt, false, "com2,4800,,8,1", "com2", ""},
    {"cr_only_line_ends", "[COM Info]\rPort=com2\rbaudrate=4800\r", Lock::None, std::nullopt, false,
     "com2,4800,,8,1", "com2", ""},
    {"utf8_byte_order_mark", "\xEF\xBB\xBF[COM Info]\r\nPort=com3\r\nbaudrate=4800\r\n", Lock::None,
     std::nullopt, false, "com3,4800,,8,1", "com3", ""},
    {"huge_value", "[COM Info]\r\nPort=" + kLongName + "\r\nbaudrate=9600\r\n", Lock::None,
     std::nullopt, false, kCutName + ",9600,,8,1", kCutName, ""},
    {"huge_file", ";" + Repeat('x', 8 << 20) + "\r\n[COM Info]\r\nPort=com4\r\nbaudrate=4800\r\n",
     Lock::None, std::nullopt, true, "", "", kNotAnInteger, "larger than 1 MiB"},
    {"fifo", std::nullopt, Lock::Fifo, std::nullopt, true, "", "", kNotAnInteger,
     "not a regular file"},
    {"link_to_dev_zero", std::nullopt, Lock::DevZero, std::nullopt, true, "", "", kNotAnInteger,
     "not a regular file"},
    {"binary_bytes",
     "\x00\xff\r\n[COM Info]\r\nPort=\x80\x81\xfe\r\nbaudrate=9600\r\n\x00\x00\x13"s, Lock::None,
     std::nullopt, false, "\x80\x81\xfe,9600,,8,1", "\x80\x81\xfe", ""},
    {"zero_byte_in_the_baud_rate",
     "[COM Info]\r\nPort=com1\r\nbaudrate=96\x00"
     "00\r\n"s,
     // The report shows the message as a C string does: up to the zero byte.
     Lock::None, std::nullopt, false, "", "", "'96."},
    {"only_a_port", "[COM Info]\r\nPort=com3\r\n", Lock::None, std::nullopt, false, "", "",
     kNotAnInteger},
    {"path_is_a_folder", std::nullopt, Lock::PathIsFolder, std::nullopt, true, "", "",
     kNotAnInteger, "not a regular file"},
    {"read_only_folder", std::nullopt, Lock::ReadOnlyFolder, std::nullopt, true, "", "",
     kNotAnInteger},
    {"read_only_file", "[Other]\r\na=1\r\n", Lock::ReadOnlyFile, std::nullopt, true, "", "",
     kNotAnInteger},
    {"full_disk_new_file", std::nullopt, Lock::FullDisk, std::nullopt, true, "", "", kNotAnInteger},
    {"full_disk_existing_file", "[Other]\r\n; " + Repeat('x', 100) + "\r\n", Lock::FullDisk,
     std::nullopt, true, "", "", kNotAnInteger},
};

class HostileSettings : public testing::TestWithParam<SettingsRow> {
protected:
    void SetUp() override { Boxes().errors.clear(); }
    void TearDown() override { Boxes().errors.clear(); }
};

TEST_P(HostileSettings, StartUpGivesTheDefaultOrTheErrorAndNeverAHalfWrittenFile) {
    const SettingsRow& row = GetParam();
    FaultScene scene;
    const std::string folder = scene.folder / "beside";
    const std::string devices = scene.folder / "dev";
    fs::create_directory(folder);
    fs::create_directory(devices);
    const std::string path = folder + "/velmora.ini";
    if (row.content) {
        WriteBytes(path, *row.content);
    }
    switch (row.lock) {
    case Lock::None:
        break;
    case Lock::ReadOnlyFolder:
        if (!scene.makeReadOnly(folder)) {
            GTEST_SKIP() << "root without a file system that has the immutable attribute";
        }
        break;
    case Lock::ReadOnlyFile:
        if (!scene.makeReadOnly(path)) {
            GTEST_SKIP() << "root without a file system that has the immutable attribute";
        }
        break;
    case Lock::PathIsFolder:
        fs::create_directory(path);
        break;
    case Lock::FullDisk:
        scene.fileSizeLimit = 16; // less than the first default line
        break;
    case Lock::Fifo:
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        break;
    case Lock::DevZero:
        fs::create_symlink("/dev/zero", path);
        break;
    }
    // (Reading a FIFO or /dev/zero here would block or never end.)
    const bool special = row.lock == Lock::Fifo || row.lock == Lock::DevZero;
    const std::optional<std::string> before = special ? std::nullopt : ReadBytes(path);
    std::set<std::string> listing = Listing(scene.folder.path());

    std::optional<TForm1> form;
    {
        FileSizeLimit limit(scene.fileSizeLimit);
        form.emplace(nullptr, path);
    }
    form->pause = [](int) {};
    form->Comm1->SetDeviceFolder(devices); // never the machine's own ports
    std::vector<QString> expected;
    if (row.unreadable) {
        expected.push_back(QString::fromStdString("The settings file " + path +
                                                  " cannot be read (" + row.unreadable +
                                                  "); the defaults are used."));
    }
    if (row.writeRefused) {
        expected.push_back(QString::fromStdString("Unable to write to " + path + "."));
    }
    EXPECT_EQ(ErrorTexts(), expected) << "after creating the window";

    RunReportingExceptions([&] { form->FormShow(); });
    if (!row.portName.empty()) {
        expected.push_back(PortOpenErrorText(row.portName));
    }
    if (!row.baudReport.empty()) {
        expected.push_back(QString::fromStdString(row.baudReport));
    }
    EXPECT_EQ(ErrorTexts(), expected) << "after showing the window";
    EXPECT_EQ(form->statusPanel->text(), QString::fromStdString(row.statusPanel));
    EXPECT_FALSE(form->Comm1->PortOpen());
    form.reset();

    if (row.lock == Lock::Fifo) {
        EXPECT_TRUE(fs::is_fifo(path)) << "the FIFO was replaced";
    } else if (row.lock == Lock::DevZero) {
        EXPECT_EQ(fs::read_symlink(path), "/dev/zero");
    } else if (row.fileAfter) {
        EXPECT_EQ(ReadBytes(path), row.fileAfter);
        listing.insert(path);
    } else {
        EXPECT_EQ(ReadBytes(path), before) << "the file changed";
    }
    EXPECT_EQ(Listing(scene.folder.path()), listing) << "a file was left behind or went missing";
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileSettings, testing::ValuesIn(kSettingsRows), RowName());

// ---------------------------------------------------------------------------
// Saving the reading log where it cannot be written.

// (A folder that only refuses new files gets the file written in place: the
// reading-log tests cover it.)
enum class Target { ReadOnlyFile, FullDisk, Folder };

struct SaveRow {
    const char* name;
    Target target;
    const char* reportStart; // the start of the error report's text
};

void PrintTo(const SaveRow& row, std::ostream* out) {
    *out << row.name;
}

const SaveRow kSaveRows[] = {
    {"read_only_file", Target::ReadOnlyFile, "Cannot create file \""},
    {"target_is_a_folder", Target::Folder, "Cannot create file \""},
    {"full_disk", Target::FullDisk, "Stream write error."},
};

class HostileSave : public testing::TestWithParam<SaveRow> {
protected:
    void SetUp() override { Boxes().errors.clear(); }
    void TearDown() override { Boxes().errors.clear(); }
};

TEST_P(HostileSave, ErrorIsReportedAndNoFileIsHalfWritten) {
    const SaveRow& row = GetParam();
    FaultScene scene;
    const std::string folder = scene.folder / "out";
    fs::create_directory(folder);
    const std::string path = folder + "/log.csv";
    const std::string old = "precious\r\n";
    switch (row.target) {
    case Target::ReadOnlyFile:
        WriteBytes(path, old);
        if (!scene.makeReadOnly(path)) {
            GTEST_SKIP() << "root without a file system that has the immutable attribute";
        }
        break;
    case Target::Folder:
        fs::create_directory(path);
        break;
    case Target::FullDisk:
        WriteBytes(path, old);
        scene.fileSizeLimit = 4096;
        break;
    }
    TForm1 form(nullptr, scene.folder / "velmora.ini");
    for (int i = 1; i <= 2000; ++i) {
        form.Comm1ReceiveData(form.Comm1, "+1.16040760E+03\r\n", 17);
    }
    ASSERT_TRUE(form.hasUnsavedReadings());
    const int64_t lines = form.Memo2->lineCount();
    const std::optional<std::string> before = ReadBytes(path);
    const std::set<std::string> listing = Listing(scene.folder.path());
    Boxes().errors.clear();

    form.chooseSaveFile = [&] { return QString::fromStdString(path); };
    {
        FileSizeLimit limit(scene.fileSizeLimit);
        form.Button1->click();
    }
    ASSERT_EQ(Boxes().errors.size(), 1u);
    const QString text = Boxes().errors[0].text;
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(row.reportStart))) << text.toStdString();
    if (text.startsWith(QStringLiteral("Cannot create file"))) {
        EXPECT_TRUE(
            text.startsWith(QString::fromStdString("Cannot create file \"" + path + "\". ")))
            << text.toStdString();
    }
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(Listing(scene.folder.path()), listing) << "a temporary file was left behind";
    EXPECT_EQ(form.Memo2->lineCount(), lines);
    EXPECT_TRUE(form.hasUnsavedReadings()) << "a failed save must not count as saved";
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileSave, testing::ValuesIn(kSaveRows), RowName());

// ---------------------------------------------------------------------------
// The stored "Characters" form of the main window's displays, cut short or overlong.

// Where each stored item's text ends: an item counts as read once its text is.
std::vector<size_t> ItemTextEnds(const std::string& bytes) {
    std::vector<size_t> ends;
    size_t at = 1; // the collection kind
    while (at < bytes.size() && bytes[at] == 1) {
        at += 1 + 1 + 4 + 1; // list begin, name length, "Data", value kind
        const auto length = static_cast<unsigned char>(bytes[at]);
        at += 1 + length;
        ends.push_back(at);
        at += 1; // the item's list end
    }
    return ends;
}

TEST(HostileCharacters, StoredSetCutShortAnywhereStopsWithAReadErrorAndKeepsWhatCameBefore) {
    TiLCDMatrix display;
    ConfigureAsMainWindowDisplay(display);
    const TiCharacterPatterns original = display.Patterns();
    // A recognisable stored set: pattern i holds i + 1 in every row.
    TiCharacterPatterns marked = original;
    for (auto& pattern : marked) {
        for (int row = 0; row < pattern.RowCount(); ++row) {
            pattern.SetRow(row, static_cast<int32_t>(&pattern - marked.data()) + 1);
        }
    }
    std::string bytes;
    TiWriter writer(bytes);
    WriteCharacterCollection(writer, marked);
    const std::vector<size_t> ends = ItemTextEnds(bytes);
    ASSERT_EQ(ends.size(), 255u);

    // Every cut within the first and last three items, and a spread in between.
    std::vector<size_t> cuts;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        if (cut < ends[2] + 1 || cut > ends[251] || cut % 97 == 0) {
            cuts.push_back(cut);
        }
    }
    for (const size_t cut : cuts) {
        SCOPED_TRACE(cut);
        TiCharacterPatterns patterns = original;
        TiReader reader(std::string_view(bytes).substr(0, cut));
        try {
            ReadCharacterCollection(reader, patterns);
            ADD_FAILURE() << "a cut set was read as whole";
        } catch (const EReadError& error) {
            EXPECT_STREQ(error.what(), "Stream read error");
        }
        size_t read = 0;
        while (read < ends.size() && ends[read] <= cut) {
            ++read;
        }
        for (size_t code = 0; code < patterns.size(); ++code) {
            ASSERT_EQ(patterns[code].RowCount(), 24);
            ASSERT_EQ(patterns[code], code < read ? marked[code] : original[code])
                << "pattern " << code << " after a cut at " << cut;
        }
    }
}

struct ExtraItemsRow {
    const char* name;
    int items;
    bool listError;
};

void PrintTo(const ExtraItemsRow& row, std::ostream* out) {
    *out << row.name;
}

class HostileCharacterCount : public testing::TestWithParam<ExtraItemsRow> {};

TEST_P(HostileCharacterCount, ItemsBeyondThe256thAreRefused) {
    TiLCDMatrix display;
    ConfigureAsMainWindowDisplay(display);
    TiCharacterPatterns patterns = display.Patterns();
    std::string bytes = "\x0e";
    for (int i = 0; i < GetParam().items; ++i) {
        const std::string data = std::to_string(i + 1) + ",7";
        bytes += std::string("\x01\x04") + "Data\x06" + static_cast<char>(data.size()) + data;
        bytes += '\0';
    }
    bytes += '\0';
    TiReader reader(bytes);
    try {
        ReadCharacterCollection(reader, patterns);
        EXPECT_FALSE(GetParam().listError) << "no error";
    } catch (const EListError& error) {
        EXPECT_TRUE(GetParam().listError);
        EXPECT_STREQ(error.what(), "List index out of bounds (256)");
    }
    for (int code = 0; code < 256; ++code) {
        ASSERT_EQ(patterns[static_cast<size_t>(code)].RowCount(), 24);
        const int32_t expected = code < GetParam().items ? code + 1 : display.Pattern(code).Row(0);
        EXPECT_EQ(patterns[static_cast<size_t>(code)].Row(0), expected) << code;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileCharacterCount,
                         testing::Values(ExtraItemsRow{"stored_255", 255, false},
                                         ExtraItemsRow{"all_256", 256, false},
                                         ExtraItemsRow{"one_extra", 257, true},
                                         ExtraItemsRow{"many_extra", 1000, true}),
                         RowName());

} // namespace
} // namespace velmora::test
