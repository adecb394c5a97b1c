// The [Publish] section read back with its fallbacks, what ResolvePublishing refuses, and where
// the spool lies.
#include "publish/publish_settings.h"
#include "publish/reading_spool.h"

#include "settings/ini_file.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace velmora {
namespace {

using test::TempFolder;

TEST(PublishSettingsTest, NumbersOutOfRangeFallBackToTheDefaults) {
    const struct {
        const char* lines;
        int qos;
        int batch;
        int spool;
    } rows[] = {
        {"MqttQos=2\r\nInfluxBatch=1\r\nSpoolLimitMB=1\r\n", 2, 1, 1},
        {"MqttQos=0\r\nInfluxBatch=100000\r\n", 0, 100000, 256},
        {"MqttQos=3\r\nInfluxBatch=0\r\nSpoolLimitMB=0\r\n", 1, 5000, 256},
        {"MqttQos=-1\r\nInfluxBatch=100001\r\nSpoolLimitMB=x\r\n", 1, 5000, 256},
        {"", 1, 5000, 256},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.lines);
        TempFolder folder;
        test::WriteBytes(folder / "v.ini", std::string("[Publish]\r\n") + row.lines);
        const PublishConfig config = ReadPublishConfig(IniFile(folder / "v.ini"));
        EXPECT_EQ(config.mqttQos, row.qos);
        EXPECT_EQ(config.influxBatch, row.batch);
        EXPECT_EQ(config.spoolLimitMiB, row.spool);
    }
}

TEST(PublishSettingsTest, WhatCannotWorkIsRefusedBeforeAnythingStarts) {
    TempFolder folder;
    test::WriteBytes(folder / "ca.pem", "not checked here");
    test::WriteBytes(folder / "secret.pem", "");
    ::chmod((folder / "secret.pem").c_str(), 0);
    const bool root = test::IsRoot(); // root reads any file
    const struct {
        PublishConfig config;
        const char* error; // nullptr: accepted
    } rows[] = {
        {{.mqttUrl = "mqtt://127.0.0.1", .mqttQos = 2}, nullptr},
        {{.mqttUrl = "mqtt://127.0.0.1", .mqttQos = 3}, "MQTT: the QoS is 0, 1 or 2"},
        {{.mqttUrl = "mqtts://127.0.0.1", .mqttCaFile = folder / "ca.pem"}, nullptr},
        {{.mqttUrl = "mqtts://127.0.0.1", .mqttCaFile = folder / "none.pem"},
         "MQTT: cannot read the CA file "},
        {{.mqttUrl = "mqtt://127.0.0.1", .mqttTopic = "lab/+/reading"},
         "MQTT: \"lab/+/reading\" cannot be published to (no + or #)"},
        {{.mqttUrl = "mqtt://127.0.0.1", .mqttEventTopic = "lab/#"},
         "MQTT: \"lab/#\" cannot be published to (no + or #)"},
        {{.mqttUrl = "mqtt://127.0.0.1", .mqttPasswordFile = folder / "none.pass"}, "cannot read "},
        {{.influxUrl = "http://127.0.0.1:8086/lab"}, nullptr},
        {{.influxUrl = "ftp://127.0.0.1/lab"},
         "InfluxDB: \"ftp://127.0.0.1/lab\" is not a http://, https:// URL"},
    };
    for (const auto& row : rows) {
        std::string error;
        const std::optional<PublishSetup> setup = ResolvePublishing(row.config, &error);
        if (!row.error) {
            EXPECT_TRUE(setup) << error;
        } else {
            EXPECT_FALSE(setup) << row.error;
            EXPECT_TRUE(error.starts_with(row.error)) << error;
        }
    }
    if (!root) {
        std::string error;
        EXPECT_FALSE(ResolvePublishing(
            {.mqttUrl = "mqtts://127.0.0.1", .mqttCaFile = folder / "secret.pem"}, &error));
    }
}

TEST(PublishSettingsTest, ThePasswordFileIsReadAndAFileOthersMayReadIsWarnedAbout) {
    TempFolder folder;
    test::WriteBytes(folder / "b.pass", "bench\r\npass word:1\r\n");
    ::chmod((folder / "b.pass").c_str(), 0644);
    std::string error;
    const std::optional<PublishSetup> setup = ResolvePublishing(
        {.influxUrl = "http://127.0.0.1/lab", .influxPasswordFile = folder / "b.pass"}, &error);
    ASSERT_TRUE(setup) << error;
    EXPECT_EQ(setup->influx->credentials->user, "bench");
    EXPECT_EQ(setup->influx->credentials->password, "pass word:1");
    ASSERT_EQ(setup->warnings.size(), 1u);
    EXPECT_NE(setup->warnings[0].find("chmod 600"), std::string::npos);
    EXPECT_EQ(setup->influx->database(), "lab");
}

TEST(SpoolFolderTest, UnderTheStateFolderWithASafeName) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string state = savedState ? savedState : "";
    const std::string home = savedHome ? savedHome : "";
    const struct {
        const char* xdg; // nullptr: unset
        const char* meter;
        const char* folder;
    } rows[] = {
        {"/state", "bench 1", "/state/velmora/spool/bench 1"},
        {"/state", "lab/../x", "/state/velmora/spool/lab_.._x"},
        {"/state", ".hidden", "/state/velmora/spool/_hidden"},
        {"/state", "a\nb", "/state/velmora/spool/a_b"},
        {"/state", "", "/state/velmora/spool/_"},
        {"relative", "m", "/home/bench/.local/state/velmora/spool/m"},
        {nullptr, "m", "/home/bench/.local/state/velmora/spool/m"},
    };
    setenv("HOME", "/home/bench", 1);
    for (const auto& row : rows) {
        if (row.xdg) {
            setenv("XDG_STATE_HOME", row.xdg, 1);
        } else {
            unsetenv("XDG_STATE_HOME");
        }
        EXPECT_EQ(SpoolFolderFor(row.meter), row.folder) << row.meter;
    }
    savedState ? setenv("XDG_STATE_HOME", state.c_str(), 1) : unsetenv("XDG_STATE_HOME");
    savedHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
}

} // namespace
} // namespace velmora
