// Where the settings files are: beside the executable, and in the user's configuration folder.
#include "settings/settings_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

struct LocationRow {
    const char* name;
    std::string executable;
    std::string xdgConfigHome; // empty: unset
    std::string home;          // empty: unset
    std::string beside;
    std::string user; // empty: no user layer
    std::string xdgConfigDirs = {};
    std::string installedBin = {};          // where the package puts its programs
    std::vector<std::string> defaults = {}; // the system's files, in reading order
};

void PrintTo(const LocationRow& row, std::ostream* out) {
    *out << row.name;
}

const LocationRow kLocationRows[] = {
    {"xdg_config_home", "/opt/bench/velmora", "/cfg", "/home/ann", "/opt/bench/velmora.ini",
     "/cfg/velmora/velmora.ini"},
    {"home_config_without_xdg", "/usr/bin/velmora", "", "/home/ann", "/usr/bin/velmora.ini",
     "/home/ann/.config/velmora/velmora.ini"},
    {"name_follows_the_executable", "/usr/bin/meter2.bin", "/cfg", "", "/usr/bin/meter2.ini",
     "/cfg/velmora/meter2.ini"},
    {"dot_in_a_folder_name", "/opt/bench.2/velmora", "/cfg", "", "/opt/bench.2/velmora.ini",
     "/cfg/velmora/velmora.ini"},
    {"relative_xdg_ignored", "/x/velmora", "relative/config", "/home/ann", "/x/velmora.ini",
     "/home/ann/.config/velmora/velmora.ini"},
    {"xdg_trailing_slashes", "/x/velmora", "/cfg//", "", "/x/velmora.ini",
     "/cfg/velmora/velmora.ini"},
    {"config_at_the_root", "/x/velmora", "/", "", "/x/velmora.ini", "/velmora/velmora.ini"},
    {"relative_home_ignored", "/x/velmora", "", "home", "/x/velmora.ini", ""},
    {"nowhere_for_the_user", "/x/velmora", "", "", "/x/velmora.ini", ""},
    {"installed_reads_etc_xdg",
     "/usr/bin/velmora",
     "",
     "/home/ann",
     "",
     "/home/ann/.config/velmora/velmora.ini",
     "",
     "/usr/bin",
     {"/etc/xdg/velmora/velmora.ini"}},
    {"installed_follows_xdg_config_dirs",
     "/usr/bin/velmora",
     "/cfg",
     "",
     "",
     "/cfg/velmora/velmora.ini",
     "/site/xdg/:relative:/etc/xdg",
     "/usr/bin/",
     {"/site/xdg/velmora/velmora.ini", "/etc/xdg/velmora/velmora.ini"}},
    {"portable_copy_keeps_its_file", "/home/ann/velmora/velmora", "", "/home/ann",
     "/home/ann/velmora/velmora.ini", "/home/ann/.config/velmora/velmora.ini", "", "/usr/bin"},
    {"a_folder_below_bin_is_portable", "/usr/bin/x/velmora", "", "/home/ann",
     "/usr/bin/x/velmora.ini", "/home/ann/.config/velmora/velmora.ini", "", "/usr/bin"},
    {"installed_without_a_user_folder_keeps_its_own", "/usr/bin/velmora", "", "",
     "/usr/bin/velmora.ini", "", "", "/usr/bin"},
};

class SettingsLocation : public testing::TestWithParam<LocationRow> {};

TEST_P(SettingsLocation, BesideTheProgramAndInTheUsersFolder) {
    const LocationRow& row = GetParam();
    const SettingsLocations where = SettingsLocationsFor(
        row.executable, ConfigEnvironment{row.xdgConfigHome, row.home, row.xdgConfigDirs},
        row.installedBin);
    EXPECT_EQ(where.beside, row.beside);
    EXPECT_EQ(where.user, row.user);
    EXPECT_EQ(where.defaults, row.defaults);
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsLocation, testing::ValuesIn(kLocationRows),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora
