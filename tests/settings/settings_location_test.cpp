// Where the settings files are: beside the executable, and in the user's configuration folder.
#include "settings/settings_path.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

struct LocationRow {
    const char* name;
    std::string executable;
    std::string xdgConfigHome; // empty: unset
    std::string home;          // empty: unset
    std::string beside;
    std::string user; // empty: no user layer
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
};

class SettingsLocation : public testing::TestWithParam<LocationRow> {};

TEST_P(SettingsLocation, BesideTheProgramAndInTheUsersFolder) {
    const LocationRow& row = GetParam();
    const SettingsLocations where =
        SettingsLocationsFor(row.executable, ConfigEnvironment{row.xdgConfigHome, row.home});
    EXPECT_EQ(where.beside, row.beside);
    EXPECT_EQ(where.user, row.user);
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsLocation, testing::ValuesIn(kLocationRows),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace velmora
