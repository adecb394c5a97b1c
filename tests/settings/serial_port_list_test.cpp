// The port list: which device entries are offered, and in which order.
#include "settings/serial_port_list.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace velmora {
namespace {

namespace fs = std::filesystem;
using test::TempFolder;

struct PortListRow {
    std::string name;
    std::vector<std::string> files;    // regular files made in the device folder
    std::vector<std::string> links;    // "name>target" symbolic links made there
    bool emulatorRunning;              // the emulator link exists and leads somewhere
    std::vector<std::string> expected; // "<dev>" stands for the device folder
};

void PrintTo(const PortListRow& row, std::ostream* out) {
    *out << row.name;
}

const PortListRow kPortListRows[] = {
    {"nothing_present", {"ttyS0", "ttyS1", "console", "null"}, {}, false, {}},
    {"usb_adapters_by_number",
     {"ttyUSB10", "ttyUSB2", "ttyUSB0", "ttyUSB1"},
     {},
     false,
     {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB10"}},
    {"usb_before_acm",
     {"ttyACM1", "ttyUSB3", "ttyACM0", "ttyS4"},
     {},
     false,
     {"ttyUSB3", "ttyACM0", "ttyACM1"}},
    {"only_names_ending_in_digits",
     {"ttyUSB", "ttyUSBx", "ttyUSB1a", "ttyUSB-1", "ttyusb1", "xttyUSB1", "ttyACM7"},
     {},
     false,
     {"ttyACM7"}},
    {"stable_names_as_full_paths_after_devices",
     {"ttyUSB0", "ttyUSB1", "serial/by-id/usb-FTDI_FT232R-if00-port0",
      "serial/by-id/usb-Arduino_Uno-if00"},
     {},
     false,
     {"ttyUSB0", "ttyUSB1", "<dev>/serial/by-id/usb-Arduino_Uno-if00",
      "<dev>/serial/by-id/usb-FTDI_FT232R-if00-port0"}},
    {"stable_name_of_an_unplugged_device_left_out",
     {"ttyUSB0"},
     {"serial/by-id/usb-gone>../../ttyUSB5", "serial/by-id/usb-here>../../ttyUSB0"},
     false,
     {"ttyUSB0", "<dev>/serial/by-id/usb-here"}},
    {"emulator_last", {"ttyACM0"}, {}, true, {"ttyACM0", "<link>"}},
    {"emulator_alone", {}, {}, true, {"<link>"}},
};

class PortList : public testing::TestWithParam<PortListRow> {};

TEST_P(PortList, OffersThePresentDevicesInOrder) {
    const PortListRow& row = GetParam();
    TempFolder folder;
    const std::string dev = folder / "dev";
    fs::create_directories(dev + "/serial/by-id");
    for (const std::string& file : row.files) {
        test::WriteBytes(dev + "/" + file, "");
    }
    for (const std::string& link : row.links) {
        const std::size_t arrow = link.find('>');
        fs::create_symlink(link.substr(arrow + 1), dev + "/" + link.substr(0, arrow));
    }
    const std::string emulatorLink = folder / "velmora-meter";
    if (row.emulatorRunning) {
        test::WriteBytes(folder / "pts-7", "");
        fs::create_symlink(folder / "pts-7", emulatorLink);
    }

    std::vector<std::string> expected;
    for (const std::string& entry : row.expected) {
        if (entry == "<link>") {
            expected.push_back(emulatorLink);
        } else if (entry.starts_with("<dev>")) {
            expected.push_back(dev + entry.substr(5));
        } else {
            expected.push_back(entry);
        }
    }
    EXPECT_EQ(AvailableSerialPorts(dev, emulatorLink), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, PortList, testing::ValuesIn(kPortListRows), test::RowName());

TEST(PortList, MissingPiecesYieldNothing) {
    TempFolder folder;
    // A stale link: the emulator has gone, its pseudo-terminal with it.
    fs::create_symlink(folder / "pts-gone", folder / "velmora-meter");
    EXPECT_TRUE(AvailableSerialPorts(folder / "no-such-dev", folder / "velmora-meter").empty());
    EXPECT_TRUE(AvailableSerialPorts(folder.path(), "").empty());
    // A device folder without serial/by-id (no adapter was ever plugged in).
    test::WriteBytes(folder / "ttyACM3", "");
    EXPECT_EQ(AvailableSerialPorts(folder.path(), folder / "velmora-meter"),
              std::vector<std::string>{"ttyACM3"});
}

} // namespace
} // namespace velmora
