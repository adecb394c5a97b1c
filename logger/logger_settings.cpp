// The headless logger's settings file.
#include "logger/logger_settings.h"

#include "alarms/alarm_settings.h"
#include "math/math_settings.h"
#include "measure/meter_settings_store.h"
#include "publish/server_url.h"
#include "settings/connection_settings.h"
#include "settings/settings_store.h"
#include "text/convert_error.h"

#include <tuple>
#include <utility>

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

    // Publishing: each value the command line did not give comes from the file.
    const PublishConfig file = ReadPublishConfig(settings);
    for (const auto& [key, url, schemes] :
         {std::tuple{"MqttUrl", &file.mqttUrl, &kMqttSchemes},
          std::tuple{"InfluxUrl", &file.influxUrl, &kInfluxSchemes}}) {
        std::string why;
        if (!url->empty() && !ParseServerUrl(*url, *schemes, &why)) {
            return "[" + std::string(kPublishSection) + "] " + key + ": " + why;
        }
    }
    static const std::pair<const char*, std::string PublishConfig::*> kTexts[] = {
        {"--mqtt", &PublishConfig::mqttUrl},
        {"--mqtt-password-file", &PublishConfig::mqttPasswordFile},
        {"--mqtt-ca", &PublishConfig::mqttCaFile},
        {"--mqtt-topic", &PublishConfig::mqttTopic},
        {nullptr, &PublishConfig::mqttEventTopic},
        {nullptr, &PublishConfig::mqttStatusTopic},
        {"--influx", &PublishConfig::influxUrl},
        {"--influx-password-file", &PublishConfig::influxPasswordFile},
        {"--influx-measurement", &PublishConfig::influxMeasurement},
        {"--metrics", &PublishConfig::metrics},
    };
    static const std::pair<const char*, int PublishConfig::*> kNumbers[] = {
        {"--mqtt-qos", &PublishConfig::mqttQos},
        {nullptr, &PublishConfig::influxBatch},
        {"--spool-limit", &PublishConfig::spoolLimitMiB},
    };
    for (const auto& [option, member] : kTexts) {
        if (!option || !given(option)) {
            options.publish.*member = file.*member;
        }
    }
    for (const auto& [option, member] : kNumbers) {
        if (!option || !given(option)) {
            options.publish.*member = file.*member;
        }
    }
    return std::nullopt;
}

} // namespace velmora
