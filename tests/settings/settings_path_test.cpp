// Where the settings file lives: the extension rule and the executable's own path.
#include "settings/settings_path.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace velmora {
namespace {

TEST(SettingsPath, ExtensionRule) {
    struct Row {
        const char* executable;
        const char* expected;
    };
    const Row rows[] = {
        {"/opt/bench.2/velmora", "/opt/bench.2/velmora.ini"},
        {"/x/meter.bin", "/x/meter.ini"},
        {"/x/meter.tar.gz", "/x/meter.tar.ini"},
        {"/x/meter.", "/x/meter.ini"},
        {"/x/.hidden", "/x/.hidden.ini"},
        {"/x/.hidden.bin", "/x/.hidden.ini"},
        {"/x/..odd", "/x/..odd.ini"},
        {"/x/..", "/x/...ini"}, // dots only: all of them lead, none is an extension
        {"/a.b/c.d/velmora", "/a.b/c.d/velmora.ini"},
        {"velmora.exe", "velmora.ini"},
        {"velmora", "velmora.ini"},
        {"/velmora", "/velmora.ini"},
        {"/x/Meter.EXE", "/x/Meter.ini"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(SettingsPathForExecutable(row.executable), row.expected) << row.executable;
    }
}

TEST(SettingsPath, BesideTheRunningExecutable) {
    char real[PATH_MAX];
    ASSERT_NE(::realpath("/proc/self/exe", real), nullptr);
    EXPECT_EQ(ExecutablePath(), real);
    EXPECT_EQ(ExecutablePath().front(), '/');
    EXPECT_EQ(DefaultSettingsPath(), SettingsPathForExecutable(real));
    EXPECT_TRUE(DefaultSettingsPath().ends_with("/velmora_settings_tests.ini"));
}

TEST(SettingsPath, AProgramReplacedOnDiskStillFindsItsFolder) {
    const std::pair<const char*, const char*> rows[] = {
        {"/usr/bin/velmora (deleted)", "/usr/bin/velmora"},
        {"/usr/bin/velmora", "/usr/bin/velmora"},
        {"/opt/a (deleted)/velmora", "/opt/a (deleted)/velmora"},
        {" (deleted)", ""},
    };
    for (const auto& [link, path] : rows) {
        EXPECT_EQ(ExecutablePathFromLink(link), path) << link;
    }
}

TEST(SettingsPath, AnInstalledProgramReadsTheFoldersOfItsEnvironment) {
    // The folder this build installs its programs in, and the process's variables.
    const std::string installed = std::string(VELMORA_INSTALLED_BINDIR) + "/velmora";
    const auto keep = [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    };
    const auto home = keep("HOME"), configHome = keep("XDG_CONFIG_HOME"),
               configDirs = keep("XDG_CONFIG_DIRS");
    ::setenv("HOME", "/home/ann", 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::setenv("XDG_CONFIG_DIRS", "/site/xdg:/etc/xdg", 1);
    const SettingsLocations where = SettingsLocationsFor(installed);
    restore("HOME", home);
    restore("XDG_CONFIG_HOME", configHome);
    restore("XDG_CONFIG_DIRS", configDirs);
    EXPECT_EQ(where.beside, "");
    EXPECT_EQ(where.user, "/home/ann/.config/velmora/velmora.ini");
    EXPECT_EQ(where.defaults, (std::vector<std::string>{"/site/xdg/velmora/velmora.ini",
                                                        "/etc/xdg/velmora/velmora.ini"}));
}

} // namespace
} // namespace velmora
