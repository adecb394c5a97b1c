// The [Publish] section of the settings file.
#include "publish/publish_settings.h"

#include "publish/publish_text.h"
#include "settings/settings_store.h"
#include "text/integer_conversion.h"
#include "text/trim.h"

#include <unistd.h>

namespace velmora {
namespace {

int ReadNumber(const SettingsStore& settings, std::string_view key, int fallback, int lowest,
               int highest) {
    const std::string text = TrimBlanks(settings.readValue(kPublishSection, key, ""));
    if (text.empty()) {
        return fallback;
    }
    try {
        const long long value = ParseInteger(text);
        return value >= lowest && value <= highest ? static_cast<int>(value) : fallback;
    } catch (const std::exception&) {
        return fallback;
    }
}

std::string ReadText(const SettingsStore& settings, std::string_view key,
                     const std::string& fallback) {
    const std::string text = TrimBlanks(settings.readValue(kPublishSection, key, ""));
    return text.empty() ? fallback : text;
}

} // namespace

PublishConfig ReadPublishConfig(const SettingsStore& settings) {
    PublishConfig config;
    config.mqttUrl = ReadText(settings, "MqttUrl", {});
    config.mqttPasswordFile = ReadText(settings, "MqttPasswordFile", {});
    config.mqttCaFile = ReadText(settings, "MqttCaFile", {});
    config.mqttTopic = ReadText(settings, "MqttTopic", config.mqttTopic);
    config.mqttEventTopic = ReadText(settings, "MqttEventTopic", config.mqttEventTopic);
    config.mqttStatusTopic = ReadText(settings, "MqttStatusTopic", config.mqttStatusTopic);
    config.mqttQos = ReadNumber(settings, "MqttQos", config.mqttQos, 0, 2);
    config.influxUrl = ReadText(settings, "InfluxUrl", {});
    config.influxPasswordFile = ReadText(settings, "InfluxPasswordFile", {});
    config.influxMeasurement = ReadText(settings, "InfluxMeasurement", config.influxMeasurement);
    config.influxBatch = ReadNumber(settings, "InfluxBatch", config.influxBatch, 1, 100000);
    config.metrics = ReadText(settings, "Metrics", {});
    config.spoolLimitMiB = ReadNumber(settings, "SpoolLimitMB", config.spoolLimitMiB, 1, 1 << 20);
    return config;
}

void WritePublishConfig(SettingsStore& settings, const PublishConfig& config) {
    const auto put = [&](std::string_view key, const std::string& value) {
        settings.writeValue(kPublishSection, key, value);
    };
    put("MqttUrl", config.mqttUrl);
    put("MqttPasswordFile", config.mqttPasswordFile);
    put("MqttCaFile", config.mqttCaFile);
    put("MqttTopic", config.mqttTopic);
    put("MqttEventTopic", config.mqttEventTopic);
    put("MqttStatusTopic", config.mqttStatusTopic);
    put("MqttQos", std::to_string(config.mqttQos));
    put("InfluxUrl", config.influxUrl);
    put("InfluxPasswordFile", config.influxPasswordFile);
    put("InfluxMeasurement", config.influxMeasurement);
    put("InfluxBatch", std::to_string(config.influxBatch));
    put("Metrics", config.metrics);
    put("SpoolLimitMB", std::to_string(config.spoolLimitMiB));
}

std::optional<PublishSetup> ResolvePublishing(const PublishConfig& config, std::string* error) {
    PublishSetup setup;
    const auto fail = [&](const std::string& why) -> std::optional<PublishSetup> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    const auto credentials = [&](const std::string& file,
                                 std::optional<Credentials>& into) -> bool {
        if (file.empty()) {
            return true;
        }
        std::string warning;
        into = ReadCredentialsFile(file, error, &warning);
        if (!warning.empty()) {
            setup.warnings.push_back(warning);
        }
        return into.has_value();
    };
    if (!config.mqttUrl.empty()) {
        MqttSettings mqtt;
        std::string why;
        const std::optional<ServerUrl> url = ParseServerUrl(config.mqttUrl, kMqttSchemes, &why);
        if (!url) {
            return fail("MQTT: " + why);
        }
        mqtt.server = *url;
        if (!credentials(config.mqttPasswordFile, mqtt.credentials)) {
            return std::nullopt;
        }
        if (config.mqttQos < 0 || config.mqttQos > 2) {
            return fail("MQTT: the QoS is 0, 1 or 2");
        }
        if (!config.mqttCaFile.empty() && access(config.mqttCaFile.c_str(), R_OK) != 0) {
            return fail("MQTT: cannot read the CA file " + config.mqttCaFile);
        }
        // A wildcard or an empty level cannot be published to: every message
        // would be refused and wait for ever.
        for (const std::string* pattern :
             {&config.mqttTopic, &config.mqttEventTopic, &config.mqttStatusTopic}) {
            const std::string topic = MqttTopic(*pattern, "meter");
            if (topic.empty() || topic.find_first_of("+#") != std::string::npos) {
                return fail("MQTT: \"" + *pattern + "\" cannot be published to (no + or #)");
            }
        }
        mqtt.caFile = config.mqttCaFile;
        mqtt.readingTopic = config.mqttTopic;
        mqtt.eventTopic = config.mqttEventTopic;
        mqtt.statusTopic = config.mqttStatusTopic;
        mqtt.qos = config.mqttQos;
        setup.mqtt = std::move(mqtt);
    }
    if (!config.influxUrl.empty()) {
        InfluxSettings influx;
        std::string why;
        const std::optional<ServerUrl> url = ParseServerUrl(config.influxUrl, kInfluxSchemes, &why);
        if (!url) {
            return fail("InfluxDB: " + why);
        }
        influx.server = *url;
        if (!credentials(config.influxPasswordFile, influx.credentials)) {
            return std::nullopt;
        }
        influx.measurement = config.influxMeasurement;
        influx.batchPoints = static_cast<size_t>(std::max(1, config.influxBatch));
        setup.influx = std::move(influx);
    }
    setup.metrics = config.metrics;
    setup.spoolLimitBytes = static_cast<uint64_t>(config.spoolLimitMiB) << 20;
    return setup;
}

} // namespace velmora
