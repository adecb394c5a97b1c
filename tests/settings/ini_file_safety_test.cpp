// Failed writes leave the old file as it was; replaced files keep mode, owner and links.
#include "settings/ini_file.h"

#include "settings/file_replace.h"
#include "settings/ini_file_exception.h"
#include "tests/settings/temp_folder.h"
#include "tests/support/file_faults.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/fs.h>
#include <optional>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::FaultScene;
using test::FileSizeLimit;
using test::Listing;
using test::TempFolder;

constexpr const char* kOld = "; keep me\r\n[COM Info]\r\nPort=com1\r\nbaudrate=9600\r\n";

struct FailureRow {
    const char* name;
    // Prepares the scene and returns the path to write, or nothing when the failure
    // cannot be arranged by this process.
    std::optional<std::string> (*arrange)(FaultScene&);
    const char* whyNot; // shown when arrange gives nothing
};

void PrintTo(const FailureRow& row, std::ostream* out) {
    *out << row.name;
}

std::optional<std::string> OldFileIn(FaultScene& scene, const std::string& subfolder) {
    const std::string folder = scene.folder / subfolder;
    fs::create_directory(folder);
    const std::string path = folder + "/settings.ini";
    test::WriteBytes(path, kOld);
    return path;
}

const FailureRow kFailureRows[] = {
    {"read_only_file",
     [](FaultScene& s) -> std::optional<std::string> {
         auto path = OldFileIn(s, "f");
         if (!s.makeReadOnly(*path, fs::perms::owner_read)) {
             return std::nullopt;
         }
         return path;
     },
     "root without a file system that supports the immutable attribute"},
    {"unreadable_file",
     [](FaultScene& s) -> std::optional<std::string> {
         // Without its content the other lines would be lost: refuse instead.
         if (test::IsRoot()) {
             return std::nullopt;
         }
         auto path = OldFileIn(s, "f");
         fs::permissions(*path, fs::perms::owner_write);
         return path;
     },
     "root can read every file"},
    {"missing_folder",
     [](FaultScene& s) -> std::optional<std::string> { return s.folder / "no/s.ini"; }, ""},
    {"folder_is_a_file",
     [](FaultScene& s) -> std::optional<std::string> {
         test::WriteBytes(s.folder / "plain", "x");
         return s.folder / "plain/settings.ini";
     },
     ""},
    {"path_is_a_folder",
     [](FaultScene& s) -> std::optional<std::string> {
         fs::create_directory(s.folder / "dir.ini");
         return s.folder / "dir.ini";
     },
     ""},
    {"symlink_loop",
     [](FaultScene& s) -> std::optional<std::string> {
         fs::create_symlink("b.ini", s.folder / "a.ini");
         fs::create_symlink("a.ini", s.folder / "b.ini");
         return s.folder / "a.ini";
     },
     ""},
    {"disk_full_midway",
     [](FaultScene& s) -> std::optional<std::string> {
         s.fileSizeLimit = 4096;
         return OldFileIn(s, "f");
     },
     ""},
};

class FailedWrite : public testing::TestWithParam<FailureRow> {};

TEST_P(FailedWrite, RaisesAndLeavesTheOldFile) {
    const FailureRow& row = GetParam();
    FaultScene scene;
    const std::optional<std::string> path = row.arrange(scene);
    if (!path) {
        GTEST_SKIP() << "cannot arrange '" << row.name << "' here: " << row.whyNot;
    }
    const std::optional<std::string> before = test::ReadBytes(*path);
    const std::set<std::string> listing = Listing(scene.folder.path());
    // Larger than the size limit, so that the write fails after it has begun.
    const std::string value(16384, 'v');
    IniFile ini(*path);
    try {
        FileSizeLimit limit(scene.fileSizeLimit);
        ini.writeValue("COM Info", "Port", value);
        ADD_FAILURE() << "the write did not fail";
    } catch (const EIniFileException& error) {
        EXPECT_EQ(error.message(), "Unable to write to " + *path);
    }
    EXPECT_EQ(test::ReadBytes(*path), before);
    EXPECT_EQ(Listing(scene.folder.path()), listing) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Rows, FailedWrite, testing::ValuesIn(kFailureRows), test::RowName());

// A folder that takes no new files while the file in it may be written: the
// value is written into the file itself, as a plain write would do.
TEST(IniFileSafety, AFolderWhereEveryTemporaryNameIsTakenIsReportedAndTheFileKept) {
    TempFolder folder;
    const std::string path = folder / "v.ini";
    ASSERT_EQ(ReplaceFileContent(path, "old"), ReplaceMethod::Replaced);
    static int tries = 0;
    tries = 0;
    const TemporaryFileOpen before = SetTemporaryFileOpen([](const char*, int, mode_t) {
        ++tries;
        errno = EEXIST;
        return -1;
    });
    try {
        ReplaceFileContent(path, "new");
        ADD_FAILURE() << "replaced";
    } catch (const FileWriteError& error) {
        EXPECT_EQ(error.code().value(), EEXIST);
        EXPECT_EQ(error.stage(), FileWriteError::Stage::Create);
    }
    SetTemporaryFileOpen(before);
    EXPECT_EQ(tries, 100) << "a hundred names tried, then given up";
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "old");
}

TEST(IniFileSafety, FolderThatTakesNoNewFilesGetsTheFileWrittenInPlace) {
    FaultScene scene;
    const std::string path = *OldFileIn(scene, "ro");
    const ino_t inode = [&] {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        return info.st_ino;
    }();
    if (!scene.makeReadOnly(scene.folder / "ro")) {
        GTEST_SKIP() << "root without a file system that supports the immutable attribute";
    }
    const std::set<std::string> listing = Listing(scene.folder.path());
    IniFile(path).writeValue("COM Info", "Port", "com2");
    EXPECT_EQ(test::ReadBytes(path), "; keep me\r\n[COM Info]\r\nPort=com2\r\nbaudrate=9600\r\n");
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, inode) << "written in place";
    EXPECT_EQ(Listing(scene.folder.path()), listing) << "a temporary file was left behind";
}

// A file system that refuses new files to everyone, root included.
TEST(IniFileSafety, PseudoFileSystemRefuses) {
    const std::string path = "/proc/version";
    const std::optional<std::string> before = test::ReadBytes(path);
    ASSERT_TRUE(before.has_value());
    IniFile ini(path);
    EXPECT_THROW(ini.writeValue("COM Info", "Port", "com1"), EIniFileException);
    EXPECT_EQ(test::ReadBytes(path), before);
}

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(IniFileSafety, ExistingFileKeepsItsPermissions) {
    for (const mode_t mode : {0640, 0604, 0600, 0664, 0751}) {
        SCOPED_TRACE(mode);
        TempFolder folder;
        const std::string path = folder / "settings.ini";
        test::WriteBytes(path, kOld);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        IniFile(path).writeValue("COM Info", "Port", "com2");
        EXPECT_EQ(ModeOf(path), mode);
        EXPECT_EQ(test::ReadBytes(path),
                  "; keep me\r\n[COM Info]\r\nPort=com2\r\nbaudrate=9600\r\n");
    }
}

TEST(IniFileSafety, NewFileGetsTheUmask) {
    for (const mode_t mask : {022, 077, 002}) {
        SCOPED_TRACE(mask);
        TempFolder folder;
        const std::string path = folder / "settings.ini";
        const mode_t saved = ::umask(mask);
        IniFile(path).writeValue("COM Info", "Port", "com1");
        ::umask(saved);
        EXPECT_EQ(ModeOf(path), 0666 & ~mask);
    }
}

TEST(IniFileSafety, RootKeepsTheOwner) {
    if (!test::IsRoot()) {
        GTEST_SKIP() << "only root can give a file to another user";
    }
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    test::WriteBytes(path, kOld);
    ASSERT_EQ(::chown(path.c_str(), 12345, 23456), 0);
    IniFile(path).writeValue("COM Info", "Port", "com2");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 23456u);
}

TEST(IniFileSafety, SymbolicLinksAreWrittenThrough) {
    struct Row {
        const char* name;
        const char* target; // as stored in the link, relative to the link's folder
        bool targetExists;
    };
    const Row rows[] = {
        {"relative", "../real/settings.ini", true},
        {"dangling", "../real/new.ini", false},
        {"chain", "hop.ini", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempFolder folder;
        fs::create_directory(folder / "real");
        fs::create_directory(folder / "app");
        test::WriteBytes(folder / "real/settings.ini", kOld);
        fs::create_symlink("../real/settings.ini", folder / "app/hop.ini");
        const std::string link = folder / "app/velmora.ini";
        fs::create_symlink(row.target, link);
        IniFile(link).writeValue("COM Info", "Port", "com3");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(fs::read_symlink(link), row.target);
        const std::string real = fs::canonical(link).string();
        EXPECT_EQ(test::ReadBytes(real),
                  row.targetExists ? "; keep me\r\n[COM Info]\r\nPort=com3\r\nbaudrate=9600\r\n"
                                   : "[COM Info]\r\nPort=com3\r\n");
    }
}

ino_t InodeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_ino;
}

// Writing a value the file already holds leaves the file alone; a change replaces it
// as a whole and leaves no temporary file behind.
TEST(IniFileSafety, OnlyChangesReplaceTheFile) {
    struct Row {
        const char* content;
        const char* value; // already held by key "Port"
    };
    const Row rows[] = {
        {"[COM Info]\r\nPORT = com1\r\n", "com1"},
        {"[COM Info]\r\nPort=  com1\r\n", "  com1"},
        {"[COM Info]\r\nPort\t= \t\r\n", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.content);
        TempFolder folder;
        const std::string path = folder / "settings.ini";
        test::WriteBytes(path, row.content);
        const ino_t original = InodeOf(path);
        IniFile ini(path);
        ini.writeValue("com info", "Port", row.value);
        EXPECT_EQ(InodeOf(path), original);
        EXPECT_EQ(test::ReadBytes(path), row.content);
        ini.writeValue("COM Info", "Port", "com2");
        EXPECT_NE(InodeOf(path), original);
        EXPECT_EQ(Listing(folder.path()), std::set<std::string>{path});
    }
}

// Files a crash (or the user) left beside it, named as temporaries are, neither
// stop the replacement nor are reused or removed.
TEST(IniFileSafety, LeftoversNamedLikeTemporariesAreLeftAlone) {
    TempFolder folder;
    const std::string path = folder / "settings.ini";
    test::WriteBytes(path, kOld);
    const std::vector<std::string> leftovers = {folder / ".settings.ini.",
                                                folder / ".settings.ini.00000000",
                                                folder / ".settings.ini.vvvvvvvv"};
    for (const std::string& leftover : leftovers) {
        test::WriteBytes(leftover, "left over");
    }
    const ino_t original = InodeOf(path);
    IniFile ini(path);
    ini.writeValue("COM Info", "Port", "com2");
    EXPECT_NE(InodeOf(path), original) << "replaced as a whole, not written in place";
    EXPECT_EQ(test::ReadBytes(path), "; keep me\r\n[COM Info]\r\nPort=com2\r\nbaudrate=9600\r\n");
    std::set<std::string> expected(leftovers.begin(), leftovers.end());
    expected.insert(path);
    EXPECT_EQ(Listing(folder.path()), expected);
    for (const std::string& leftover : leftovers) {
        EXPECT_EQ(test::ReadBytes(leftover), "left over");
    }
}

TEST(IniFileSafety, ABareFileNameGetsItsTemporaryInTheWorkingFolderKeptFromChildren) {
    TempFolder folder;
    const std::string before = fs::current_path();
    fs::current_path(folder.path());
    std::vector<std::string> during; // the working folder while the content is written
    std::optional<int> flags;        // the temporary file's open flags
    const ReplaceMethod method = ReplaceFileContent("plain.ini", [&](const auto& write) {
        for (const auto& entry : fs::directory_iterator(".")) {
            during.push_back(entry.path().filename());
        }
        for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const fs::path target = fs::read_symlink(fd.path(), error);
            if (!error && target.filename().string().starts_with(".plain.ini.")) {
                std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
                std::string label;
                while (info >> label) {
                    if (label == "flags:") {
                        std::string octal;
                        info >> octal;
                        flags = std::stoi(octal, nullptr, 8);
                    }
                }
            }
        }
        write("[COM Info]\r\nPort=com1\r\n");
    });
    fs::current_path(before);
    EXPECT_EQ(method, ReplaceMethod::Replaced);
    EXPECT_EQ(test::ReadBytes(folder / "plain.ini"), "[COM Info]\r\nPort=com1\r\n");
    ASSERT_EQ(during.size(), 1u) << "the temporary file beside the one it replaces";
    EXPECT_TRUE(during[0].starts_with(".plain.ini.")) << during[0];
    ASSERT_TRUE(flags) << "the temporary file is open while its content is written";
    // A program started meanwhile (an alarm's) must not inherit it.
    EXPECT_NE(*flags & O_CLOEXEC, 0);
    EXPECT_EQ(Listing(folder.path()), std::set<std::string>{folder / "plain.ini"});
}

} // namespace
} // namespace velmora
