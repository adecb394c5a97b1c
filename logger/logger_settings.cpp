// The headless logger's settings file.
#include "logger/logger_settings.h"

#include "alarms/alarm_settings.h"
#include "measure/meter_settings_store.h"
#include "settings/settings_store.h"

namespace velmora {

namespace {

constexpr const char* kComInfo = "COM Info";

} // namespace

std::optional<std::string> ApplyLoggerSettings(const SettingsStore& settings,
                                               LoggerOptions& options) {
    const auto given = [&](const char* option) { return options.given.contains(option); };
    if (!given("--port")) {
        if (std::string port = settings.readValue(kComInfo, "Port", ""); !port.empty()) {
            options.port = std::move(port);
        }
    }
    if (!given("--baud")) {
        if (const std::string text = settings.readValue(kComInfo, "baudrate", ""); !text.empty()) {
            const std::optional<uint32_t> baud = ParseWholeNumber<uint32_t>(text);
            if (!baud || *baud == 0) {
                return "[COM Info] baudrate \"" + text + "\" is no rate";
            }
            options.baud = *baud;
        }
    }

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
    return std::nullopt;
}

} // namespace velmora
