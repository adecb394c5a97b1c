// The [Publish] section of the settings file: which servers get the readings, and how.
#pragma once

#include "publish/influx_publisher.h"
#include "publish/mqtt_publisher.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class SettingsStore;

inline constexpr std::string_view kPublishSection = "Publish";

// As the user wrote it: URLs and file names, checked by ResolvePublishing.
struct PublishConfig {
    std::string mqttUrl{}; // empty: no MQTT
    std::string mqttPasswordFile{};
    std::string mqttCaFile{};
    std::string mqttTopic = "velmora/<meter>/reading";
    std::string mqttEventTopic = "velmora/<meter>/event";
    std::string mqttStatusTopic = "velmora/<meter>/status";
    int mqttQos = 1;
    std::string influxUrl{}; // empty: no InfluxDB
    std::string influxPasswordFile{};
    std::string influxMeasurement = "velmora";
    int influxBatch = 5000;
    std::string metrics{};   // "127.0.0.1:9464"; empty: no endpoint
    int spoolLimitMiB = 256; // per meter
    bool any() const { return !mqttUrl.empty() || !influxUrl.empty() || !metrics.empty(); }
};

PublishConfig ReadPublishConfig(const SettingsStore& settings);
void WritePublishConfig(SettingsStore& settings, const PublishConfig& config);

// What the publishers are given, the files read.
struct PublishSetup {
    std::optional<MqttSettings> mqtt;
    std::optional<InfluxSettings> influx;
    std::string metrics;
    uint64_t spoolLimitBytes = 0;
    std::vector<std::string> warnings; // a password file others may read
};

// Nothing, and `error` says why, for a URL that is not one (or holds a
// user or password), a password file that cannot be read, a QoS other than
// 0, 1 or 2, or a CA file named that cannot be read (none: mqtts:// trusts
// the system's certificates).
std::optional<PublishSetup> ResolvePublishing(const PublishConfig& config, std::string* error);

} // namespace velmora
