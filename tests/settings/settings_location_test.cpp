// Where the settings file goes: beside the executable while writable, else the user's config
// folder.
#include "settings/settings_path.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

constexpr uid_t kNobody = 65534;

// Runs ChooseSettingsPath as a user without special rights: as root the permission
// bits would not matter, so the choice is made in a child that has become nobody.
std::string ChooseAsPlainUser(const std::string& executable, const ConfigEnvironment& env) {
    if (!test::IsRoot()) {
        return ChooseSettingsPath(executable, env);
    }
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
            ::_exit(3);
        }
        const std::string chosen = ChooseSettingsPath(executable, env);
        const bool written =
            ::write(pipeFds[1], chosen.data(), chosen.size()) == ssize_t(chosen.size());
        ::_exit(written ? 0 : 4);
    }
    ::close(pipeFds[1]);
    std::string chosen;
    char buffer[512];
    for (ssize_t got; (got = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        chosen.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    return chosen;
}

// The permission bits of `path`, or nothing when it does not exist.
std::optional<unsigned> Mode(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return std::nullopt;
    }
    return info.st_mode & 07777u;
}

void MakeFolder(const std::string& path, fs::perms mode) {
    fs::create_directories(path);
    fs::permissions(path, mode);
}

// Replaces every "{T}" in `text` by the test folder's path.
std::string InFolder(std::string text, const std::string& folder) {
    for (std::size_t at; (at = text.find("{T}")) != std::string::npos;) {
        text.replace(at, 3, folder);
    }
    return text;
}

struct LocationRow {
    std::string name;
    std::string executable;
    std::string xdgConfigHome; // empty: unset
    std::string home;          // empty: unset
    std::string expected;
    std::string createdFolder; // must exist with mode 0700 afterwards (empty: none)
};

void PrintTo(const LocationRow& row, std::ostream* out) {
    *out << row.name;
}

// The test folder {T}, made fresh for every row:
//   open/         anyone may write; no velmora.ini
//   open-ini/     anyone may write; velmora.ini that anyone may write
//   locked-ini/   anyone may write; velmora.ini that nobody may write
//   shut/         nobody may write
//   config/ home/ anyone may write (candidate configuration folders)
//   shut-config/  nobody may write
const LocationRow kLocationRows[] = {
    {"beside_in_writable_folder", "{T}/open/velmora", "{T}/config", "{T}/home",
     "{T}/open/velmora.ini", ""},
    {"beside_with_writable_file", "{T}/open-ini/velmora.bin", "{T}/config", "{T}/home",
     "{T}/open-ini/velmora.ini", ""},
    {"config_when_folder_shut", "{T}/shut/velmora", "{T}/config", "{T}/home",
     "{T}/config/velmora/velmora.ini", "{T}/config/velmora"},
    {"config_when_file_read_only", "{T}/locked-ini/velmora", "{T}/config", "{T}/home",
     "{T}/config/velmora/velmora.ini", "{T}/config/velmora"},
    {"config_when_folder_missing", "{T}/gone/velmora", "{T}/config", "{T}/home",
     "{T}/config/velmora/velmora.ini", "{T}/config/velmora"},
    {"home_config_without_xdg", "{T}/shut/velmora", "", "{T}/home",
     "{T}/home/.config/velmora/velmora.ini", "{T}/home/.config/velmora"},
    {"relative_xdg_ignored", "{T}/shut/velmora", "relative/config", "{T}/home",
     "{T}/home/.config/velmora/velmora.ini", "{T}/home/.config/velmora"},
    {"xdg_trailing_slash", "{T}/shut/velmora", "{T}/config/", "{T}/home",
     "{T}/config/velmora/velmora.ini", "{T}/config/velmora"},
    {"relative_home_ignored", "{T}/shut/velmora", "", "home", "{T}/shut/velmora.ini", ""},
    {"nowhere_else_stays_beside", "{T}/shut/velmora", "", "", "{T}/shut/velmora.ini", ""},
    {"uncreatable_config_still_named", "{T}/shut/velmora", "{T}/shut-config", "{T}/home",
     "{T}/shut-config/velmora/velmora.ini", ""},
};

constexpr auto kAll = fs::perms::all;
constexpr auto kReadOnly = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                           fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec;

// A test folder that the unprivileged child can walk through.
class LocationFolder : public TempFolder {
public:
    LocationFolder() {
        fs::permissions(path(), kReadOnly);
        fs::permissions(path(), fs::perms::owner_write, fs::perm_options::add);
    }
};

class SettingsLocation : public testing::TestWithParam<LocationRow> {};

TEST_P(SettingsLocation, ChoosesTheFirstWritablePlace) {
    const LocationRow& row = GetParam();
    LocationFolder folder;
    for (const char* name : {"open", "open-ini", "locked-ini", "config", "home"}) {
        MakeFolder(folder / name, kAll);
    }
    test::WriteBytes(folder / "open-ini/velmora.ini", "");
    fs::permissions(folder / "open-ini/velmora.ini",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    test::WriteBytes(folder / "locked-ini/velmora.ini", "");
    fs::permissions(folder / "locked-ini/velmora.ini",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    MakeFolder(folder / "shut", kReadOnly);
    MakeFolder(folder / "shut-config", kReadOnly);

    const ConfigEnvironment env{InFolder(row.xdgConfigHome, folder.path()),
                                InFolder(row.home, folder.path())};
    EXPECT_EQ(ChooseAsPlainUser(InFolder(row.executable, folder.path()), env),
              InFolder(row.expected, folder.path()));
    if (!row.createdFolder.empty()) {
        EXPECT_EQ(Mode(InFolder(row.createdFolder, folder.path())), 0700u);
    } else {
        EXPECT_FALSE(fs::exists(folder / "config/velmora"));
        EXPECT_FALSE(fs::exists(folder / "home/.config"));
        EXPECT_FALSE(fs::exists(folder / "shut-config/velmora"));
    }
    // Choosing makes folders only: the file is left to the first write.
    EXPECT_FALSE(fs::exists(folder / "config/velmora/velmora.ini"));
    EXPECT_FALSE(fs::exists(folder / "home/.config/velmora/velmora.ini"));
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsLocation, testing::ValuesIn(kLocationRows), test::RowName());

TEST(SettingsLocation, ExistingConfigFolderIsUsedAsItIs) {
    LocationFolder folder;
    MakeFolder(folder / "shut", kReadOnly);
    MakeFolder(folder / "config", kAll);
    MakeFolder(folder / "config/velmora",
               fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    test::WriteBytes(folder / "config/velmora/velmora.ini", "[COM Info]\r\nPort=ttyUSB0\r\n");
    const ConfigEnvironment env{folder / "config", folder / "home"};
    EXPECT_EQ(ChooseAsPlainUser(folder / "shut/velmora", env),
              folder / "config/velmora/velmora.ini");
    EXPECT_EQ(Mode(folder / "config/velmora"), 0750u);
    EXPECT_EQ(test::ReadBytes(folder / "config/velmora/velmora.ini"),
              "[COM Info]\r\nPort=ttyUSB0\r\n");
}

} // namespace
} // namespace velmora
