// Where the meter emulator offers its port.
#include "ui/emulator_link.h"

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <unistd.h>

namespace velmora {
namespace {

using test::TempFolder;

TEST(EmulatorLink, RuntimeFolderWhenUsableElseTmpPerUser) {
    TempFolder folder;
    test::WriteBytes(folder / "a-file", "");
    struct Row {
        const char* name;
        std::string runtimeDir;
        uid_t uid;
        std::string expected;
    };
    const Row rows[] = {
        {"runtime_folder", folder.path(), 1000, folder / "velmora-meter"},
        {"trailing_slashes", folder.path() + "//", 1000, folder / "velmora-meter"},
        {"unset", "", 1000, "/tmp/velmora-meter-1000"},
        {"not_a_folder", folder / "a-file", 42, "/tmp/velmora-meter-42"},
        {"missing_folder", folder / "gone", 0, "/tmp/velmora-meter-0"},
        {"relative_path_ignored", "run/user", 7, "/tmp/velmora-meter-7"},
        {"root_folder", "/", 5, "/velmora-meter"},
        {"root_folder_with_slashes", "//", 5, "/velmora-meter"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(EmulatorLinkPath(row.runtimeDir, row.uid), row.expected);
    }
}

TEST(EmulatorLink, TheProgramsOwnPathFollowsItsEnvironment) {
    TempFolder folder;
    const char* before = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> kept =
        before ? std::optional<std::string>(before) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
    EXPECT_EQ(EmulatorLinkPath(), folder / "velmora-meter");
    ::unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(EmulatorLinkPath(), "/tmp/velmora-meter-" + std::to_string(::getuid()));
    kept ? ::setenv("XDG_RUNTIME_DIR", kept->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

} // namespace
} // namespace velmora
