// The headless logger's settings file.
#include "logger/logger_settings.h"

#include "alarms/alarm_settings.h"
#include "math/math_settings.h"
#include "measure/meter_settings_store.h"
#include "publish/server_url.h"
#include "settings/connection_settings.h"
#include "settings/settings_store.h"
#include "text/convert_error.h"

namespace velmora {

std::optional<std::string> ApplyLoggerSettings(const SettingsStore& settings,
                                               LoggerOptions& options) {
    const auto given = [&](const char* option) { return options.given.contains(option); };
    const ComInfo line = ReadComInfo(settings);
    if (!given("--port") && !line.port.empty()) {
        options.port = line.port;
    }
    if (!given("--baud") && !line.baudText.empty()) {
        // Read as the desktop program reads it, so one file gives both the
        // same rate; a rate no port runs at is refused.
        uint32_t baud = 0;
        try {
            baud = ComBaudRate(line.baudText);
        } catch (const EConvertError&) {
        }
        if (baud == 0 || baud > 0x7FFFFFFFu) {
            return "[COM Info] baudrate \"" + line.baudText + "\" is no rate";
        }
        options.baud = baud;
    }

    options.meterName = ReadMeterName(settings, options.port);

    const ReadMeterSettingsResult meter = ReadMeterSettings(settings);
    if (meter.problem) {
        return "[" + std::string(kMeterSettingsSection) + "] " + *meter.problem;
    }
    if (!options.function.empty()) {
        options.functionSettings = meter.settings.of(options.function);
    }
    if (!given("--fast")) {
        options.fast = meter.settings.fast;
    }
    if (!given("--samples")) {
        options.samples = meter.settings.samples;
    }
    options.displayOn = meter.settings.displayOn;

    AlarmSettings alarms = ReadAlarmSettings(settings);
    if (alarms.problem) {
        return "[" + std::string(kAlarmSection) + "] " + *alarms.problem;
    }
    options.alarms = std::move(alarms.alarms);

    MathSettingsRead math = ReadMathSettings(settings);
    if (math.problem) {
        return "[" + std::string(kMathSection) + "] " + *math.problem;
    }
    options.math = std::move(math.functions);

    // Publishing: each server the command line did not name comes from the file.
    const PublishConfig file = ReadPublishConfig(settings);
    PublishConfig& publish = options.publish;
    if (!given("--mqtt")) {
        std::string why;
        if (!file.mqttUrl.empty() &&
            !ParseServerUrl(file.mqttUrl, {{"mqtt", 1883}, {"mqtts", 8883}}, &why)) {
            return "[" + std::string(kPublishSection) + "] MqttUrl: " + why;
        }
        publish.mqttUrl = file.mqttUrl;
        publish.mqttTopic = given("--mqtt-topic") ? publish.mqttTopic : file.mqttTopic;
        publish.mqttEventTopic = file.mqttEventTopic;
        publish.mqttStatusTopic = file.mqttStatusTopic;
        publish.mqttQos = given("--mqtt-qos") ? publish.mqttQos : file.mqttQos;
    }
    if (!given("--mqtt-password-file")) {
        publish.mqttPasswordFile = file.mqttPasswordFile;
    }
    if (!given("--mqtt-ca")) {
        publish.mqttCaFile = file.mqttCaFile;
    }
    if (!given("--influx")) {
        std::string why;
        if (!file.influxUrl.empty() &&
            !ParseServerUrl(file.influxUrl, {{"http", 8086}, {"https", 8086}}, &why)) {
            return "[" + std::string(kPublishSection) + "] InfluxUrl: " + why;
        }
        publish.influxUrl = file.influxUrl;
        publish.influxBatch = file.influxBatch;
    }
    if (!given("--influx-password-file")) {
        publish.influxPasswordFile = file.influxPasswordFile;
    }
    if (!given("--influx-measurement")) {
        publish.influxMeasurement = file.influxMeasurement;
    }
    if (!given("--metrics")) {
        publish.metrics = file.metrics;
    }
    if (!given("--spool-limit")) {
        publish.spoolLimitMiB = file.spoolLimitMiB;
    }
    return std::nullopt;
}

} // namespace velmora
