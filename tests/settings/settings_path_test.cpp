// Where the settings file lives: the extension rule and the executable's own path.
#include "settings/settings_path.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

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

} // namespace
} // namespace velmora
