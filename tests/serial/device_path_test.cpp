// Port names to device paths.
#include "serial/device_path.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

struct PathRow {
    const char* name;
    const char* port;
    const char* folder;
    const char* path;
};

TEST(DevicePathForPort, MapsNamesToPaths) {
    const PathRow rows[] = {
        {"com_one_upper", "COM1", "/dev", "/dev/ttyS0"},
        {"com_mixed_case", "cOm2", "/dev", "/dev/ttyS1"},
        {"com_two_digits", "COM10", "/dev", "/dev/ttyS9"},
        {"com_large", "com256", "/dev", "/dev/ttyS255"},
        {"folder_with_slash", "COM3", "/tmp/devs/", "/tmp/devs/ttyS2"},
        {"other_test_folder", "COM1", "/tmp/x", "/tmp/x/ttyS0"},
        {"com_zero_is_a_name", "COM0", "/dev", "/dev/COM0"},
        {"leading_zero_is_a_name", "COM01", "/dev", "/dev/COM01"},
        {"com_without_number", "COM", "/dev", "/dev/COM"},
        {"com_with_suffix", "COM1x", "/dev", "/dev/COM1x"},
        {"com_with_sign", "COM+1", "/dev", "/dev/COM+1"},
        {"plain_device", "ttyUSB0", "/dev", "/dev/ttyUSB0"},
        {"absolute_path", "/tmp/meter", "/dev", "/tmp/meter"},
        {"absolute_path_ignores_folder", "/dev/pts/3", "/elsewhere", "/dev/pts/3"},
        {"empty_name", "", "/dev", "/dev/"},
        {"huge_number", "COM99999999999999999999", "/dev", "/dev/COM99999999999999999999"},
    };
    for (const PathRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DevicePathForPort(row.port, row.folder), row.path);
    }
}

} // namespace
} // namespace velmora
