// The settings in layers: an administrator's file beside the program is read, choices that cannot
// go there go to the user's file, and nothing written is lost on the next read.
#include "settings/layered_settings.h"

#include "settings/ini_file_exception.h"
#include "tests/settings/temp_folder.h"
#include "tests/support/file_faults.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::FaultScene;

constexpr const char* kAdmin = "[COM Info]\r\nPort=ttyUSB3\r\nbaudrate=19200\r\n";

struct Bench {
    FaultScene scene;
    std::string beside = scene.folder / "app/velmora.ini";
    std::string user = scene.folder / "home/.config/velmora/velmora.ini";
    std::vector<std::string> told;

    Bench() { fs::create_directories(scene.folder / "app"); }
    LayeredSettings settings() {
        LayeredSettings layered(beside, user);
        layered.onStoredInUserFile = [this](const std::string& path) { told.push_back(path); };
        return layered;
    }
    // The administrator's file, beside the program, that nobody may write.
    bool lockedAdminFile() {
        test::WriteBytes(beside, kAdmin);
        return scene.makeReadOnly(beside, fs::perms::owner_read) &&
               scene.makeReadOnly(scene.folder / "app");
    }
};

TEST(LayeredSettings, ReadOnlyAdministratorsFileGivesTheValuesAndTheUserKeepsTheChoices) {
    Bench bench;
    if (!bench.lockedAdminFile()) {
        GTEST_SKIP() << "root without a file system that supports the immutable attribute";
    }
    LayeredSettings settings = bench.settings();
    EXPECT_TRUE(settings.hasSection("COM Info"));
    EXPECT_EQ(settings.readValue("COM Info", "Port", ""), "ttyUSB3");

    settings.writeValue("COM Info", "baudrate", "4800");
    EXPECT_EQ(bench.told, std::vector<std::string>{bench.user}) << "said once where it went";
    EXPECT_EQ(test::ReadBytes(bench.beside), kAdmin);
    EXPECT_EQ(test::ReadBytes(bench.user), "[COM Info]\r\nbaudrate=4800\r\n");
    struct stat folder {};
    ASSERT_EQ(::stat((bench.scene.folder / "home/.config/velmora").c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u) << "the user's folder is private";

    // Read back: the user's value first, the administrator's where the user has none.
    EXPECT_EQ(settings.readValue("COM Info", "baudrate", ""), "4800");
    EXPECT_EQ(settings.readValue("COM Info", "Port", ""), "ttyUSB3");
    settings.writeValue("COM Info", "Port", "ttyACM0");
    EXPECT_EQ(bench.told.size(), 1u);
    // A new object, as at the next start, sees the same.
    LayeredSettings again = bench.settings();
    EXPECT_EQ(again.readValue("COM Info", "Port", ""), "ttyACM0");
    EXPECT_EQ(again.readValue("COM Info", "baudrate", ""), "4800");
}

TEST(LayeredSettings, WritableFileBesideTheProgramTakesTheWrites) {
    Bench bench;
    LayeredSettings settings = bench.settings();
    EXPECT_FALSE(settings.hasSection("COM Info"));
    settings.writeValue("COM Info", "Port", "com1");
    EXPECT_EQ(test::ReadBytes(bench.beside), "[COM Info]\r\nPort=com1\r\n");
    EXPECT_FALSE(fs::exists(bench.user)) << "no user file while the program's own takes values";
    EXPECT_TRUE(bench.told.empty());
}

TEST(LayeredSettings, AnInstalledProgramReadsTheSystemDefaultsAndWritesOnlyTheUsersFile) {
    Bench bench;
    const std::string system = bench.scene.folder / "etc/xdg/velmora/velmora.ini";
    const std::string site = bench.scene.folder / "site/velmora/velmora.ini";
    fs::create_directories(fs::path(system).parent_path());
    fs::create_directories(fs::path(site).parent_path());
    test::WriteBytes(system, kAdmin);
    test::WriteBytes(site, "[COM Info]\r\nPort=siteport\r\n[Chart]\r\nSpan=60\r\n");
    LayeredSettings settings(std::string(), bench.user, {site, system});
    EXPECT_TRUE(settings.hasSection("Chart")) << "held by a defaults file only";
    EXPECT_FALSE(settings.hasSection("Alarms")) << "held by no file";
    EXPECT_EQ(settings.readValue("COM Info", "Port", ""), "siteport") << "the first folder first";
    EXPECT_EQ(settings.readValue("COM Info", "baudrate", ""), "19200");
    EXPECT_EQ(settings.path(), bench.user) << "what an error message names";

    settings.writeValue("COM Info", "Port", "ttyACM0"); // the user's folders do not exist yet
    EXPECT_EQ(test::ReadBytes(bench.user), "[COM Info]\r\nPort=ttyACM0\r\n");
    EXPECT_EQ(test::ReadBytes(system), kAdmin) << "the system's file is never written";
    EXPECT_EQ(settings.readValue("COM Info", "Port", ""), "ttyACM0");
    EXPECT_EQ(settings.readValue("COM Info", "baudrate", ""), "19200");
    EXPECT_FALSE(fs::exists(bench.beside));
}

TEST(LayeredSettings, KeyTheUserFileHoldsIsWrittenThereSoItIsNotHidden) {
    Bench bench;
    test::WriteBytes(bench.beside, kAdmin);
    fs::create_directories(fs::path(bench.user).parent_path());
    test::WriteBytes(bench.user, "[COM Info]\r\nPort=mine\r\n");
    LayeredSettings settings = bench.settings();
    settings.writeValue("COM Info", "Port", "newer");
    EXPECT_EQ(settings.readValue("COM Info", "Port", ""), "newer");
    EXPECT_EQ(test::ReadBytes(bench.beside), kAdmin);
    // A key the user's file lacks still goes beside the program.
    settings.writeValue("COM Info", "baudrate", "4800");
    EXPECT_EQ(test::ReadBytes(bench.beside), "[COM Info]\r\nPort=ttyUSB3\r\nbaudrate=4800\r\n");
}

TEST(LayeredSettings, NeitherWritableIsReportedWithThePathBesideTheProgram) {
    Bench bench;
    if (!bench.lockedAdminFile() || !bench.scene.makeReadOnly(bench.scene.folder.path())) {
        GTEST_SKIP() << "root without a file system that supports the immutable attribute";
    }
    LayeredSettings settings = bench.settings();
    try {
        settings.writeValue("COM Info", "Port", "x");
        ADD_FAILURE() << "the write did not fail";
    } catch (const EIniFileException& error) {
        EXPECT_EQ(error.message(), "Unable to write to " + bench.beside);
    }
    EXPECT_EQ(settings.readValue("COM Info", "Port", ""), "ttyUSB3");
}

struct UnreadableRow {
    const char* name;
    void (*make)(const std::string& path);
    const char* reason;
};

const UnreadableRow kUnreadableRows[] = {
    {"fifo", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); },
     "not a regular file"},
    {"link_to_dev_zero", [](const std::string& path) { fs::create_symlink("/dev/zero", path); },
     "not a regular file"},
    {"folder", [](const std::string& path) { fs::create_directory(path); }, "not a regular file"},
    {"over_a_mebibyte",
     [](const std::string& path) {
         test::WriteBytes(path, "[COM Info]\r\nPort=big\r\n;" + std::string(1 << 20, 'x'));
     },
     "larger than 1 MiB"},
};

void PrintTo(const UnreadableRow& row, std::ostream* out) {
    *out << row.name;
}

class UnreadableLayer : public testing::TestWithParam<UnreadableRow> {};

TEST_P(UnreadableLayer, IsNamedReadsAsMissingAndIsNeverWrittenOver) {
    const UnreadableRow& row = GetParam();
    Bench bench;
    row.make(bench.beside);
    const bool wasLink = fs::is_symlink(bench.beside);
    LayeredSettings settings = bench.settings();
    const auto unreadable = settings.unreadableLayers();
    ASSERT_EQ(unreadable.size(), 1u);
    EXPECT_EQ(unreadable[0].first, bench.beside);
    EXPECT_EQ(unreadable[0].second, row.reason);
    EXPECT_FALSE(settings.hasSection("COM Info"));
    EXPECT_EQ(settings.readValue("COM Info", "Port", "default"), "default");
    settings.writeValue("COM Info", "Port", "com1");
    EXPECT_EQ(test::ReadBytes(bench.user), "[COM Info]\r\nPort=com1\r\n");
    EXPECT_EQ(fs::is_symlink(bench.beside), wasLink);
    EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(bench.beside)) &&
                 fs::file_size(bench.beside) < 100)
        << "the unreadable file was replaced";
}

INSTANTIATE_TEST_SUITE_P(Rows, UnreadableLayer, testing::ValuesIn(kUnreadableRows),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora
