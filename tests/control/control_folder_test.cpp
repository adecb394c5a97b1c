// The control interface's folder: made private, refused when others could reach into it; the
// socket's name from the meter's; the token file.
#include "control/control_folder.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST(ControlFolder, IsMadePrivateAndRefusedWhenOthersCouldWriteToIt) {
    test::TempFolder temp;
    const std::string folder = temp / "velmora";
    EXPECT_EQ(PreparePrivateFolder(folder), std::nullopt);
    EXPECT_EQ(ModeOf(folder), 0700u);
    EXPECT_EQ(PreparePrivateFolder(folder), std::nullopt) << "an existing private folder is fine";

    ASSERT_EQ(::chmod(folder.c_str(), 0770), 0);
    EXPECT_EQ(PreparePrivateFolder(folder), "others can write to " + folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0757), 0);
    EXPECT_EQ(PreparePrivateFolder(folder), "others can write to " + folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    EXPECT_EQ(PreparePrivateFolder(folder), std::nullopt) << "readable by others is allowed";

    const std::string link = temp / "link";
    ASSERT_EQ(::symlink(folder.c_str(), link.c_str()), 0);
    EXPECT_EQ(PreparePrivateFolder(link), link + " is not a folder") << "a link is not followed";
}

TEST(ControlFolder, AFolderOfAnotherUserIsRefused) {
    if (geteuid() == 0) {
        test::TempFolder temp;
        const std::string folder = temp / "theirs";
        ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
        ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(PreparePrivateFolder(folder), folder + " belongs to another user");
    } else {
        EXPECT_EQ(PreparePrivateFolder("/usr"), std::string("/usr belongs to another user"));
    }
}

TEST(ControlFolder, TheRuntimeFolderIsTheUsersOwn) {
    const char* before = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = before ? before : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
    EXPECT_EQ(ControlFolder(), "/run/user/1000/velmora");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(ControlFolder(), "/tmp/velmora-" + std::to_string(geteuid()));
    if (before) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
}

TEST(ControlFolder, SocketNamesAreBareFileNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"com1", "com1"},
        {"TCPIP0::192.168.1.20::5025::SOCKET", "TCPIP0__192.168.1.20__5025__SOCKET"},
        {"GPIB::22@/dev/ttyACM0", "ttyACM0"},
        {"../../etc/x", "x"},
        {"..", "meter"},
        {"Bench 3 (DMM)", "Bench_3__DMM_"},
        {"", "meter"},
    };
    for (const auto& [meter, name] : cases) {
        EXPECT_EQ(SocketNameFor(meter), name) << meter;
    }
    EXPECT_EQ(SocketNameFor(std::string(100, 'm')).size(), 64u);
}

TEST(ControlFolder, TheTokenIsNewEachTimeAndOnlyTheUsersToRead) {
    test::TempFolder temp;
    const std::string path = temp / "meter.token";
    const std::string first = WriteTokenFile(path);
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(test::ReadBytes(path).value_or(""), first + "\n");
    EXPECT_EQ(ModeOf(path), 0600u);
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    EXPECT_NE(WriteTokenFile(path), first);
    EXPECT_EQ(ModeOf(path), 0600u) << "replaced, not rewritten";
}

} // namespace
} // namespace velmora
