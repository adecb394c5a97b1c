// What watching ten alarms adds to each reading: the monitor fed a wandering DC volts reading
// that crosses limits now and then, with every kind of alarm among the ten.
#include "alarms/alarm_monitor.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

namespace velmora {
namespace {

std::vector<AlarmDefinition> TenAlarms() {
    std::vector<AlarmDefinition> alarms;
    const AlarmCondition conditions[] = {AlarmCondition::Above, AlarmCondition::Below,
                                         AlarmCondition::Outside, AlarmCondition::Inside};
    for (int i = 0; i < 8; ++i) {
        AlarmDefinition a;
        a.name = "Limit " + std::to_string(i);
        a.function = i % 4 == 3 ? "RES" : "VOLT"; // some watch another function
        a.condition = conditions[i % 4];
        a.low = 1.0 + 0.01 * i;
        a.high = 1.4 + 0.01 * i;
        a.hysteresis = 0.02;
        a.delaySeconds = i % 2 ? 0.5 : 0;
        alarms.push_back(a);
    }
    AlarmDefinition overload;
    overload.name = "Open input";
    overload.function = "VOLT";
    overload.condition = AlarmCondition::Overload;
    alarms.push_back(overload);
    AlarmDefinition silence;
    silence.name = "Quiet";
    silence.condition = AlarmCondition::Silence;
    alarms.push_back(silence);
    return alarms;
}

void BM_TenAlarmsPerReading(benchmark::State& state) {
    AlarmMonitor monitor;
    monitor.setDefinitions(TenAlarms());
    monitor.connected(true, 0);
    const std::string function = "VOLT";
    double now = 0;
    size_t changes = 0;
    for (auto _ : state) {
        now += 0.076; // a reading every cycle of the standard polling
        // A slow wander through the limits, and an overload now and then.
        const long double value = static_cast<long double>(1.2 + 0.3 * std::sin(now * 0.7)) +
                                  (static_cast<long>(now * 13) % 97 == 0 ? 9.9E37L : 0.0L);
        changes += monitor.reading(function, value, now).size();
        changes += monitor.tick(now).size();
        benchmark::DoNotOptimize(changes);
    }
    state.counters["changes"] = static_cast<double>(changes);
}
BENCHMARK(BM_TenAlarmsPerReading);

void BM_NoAlarmsPerReading(benchmark::State& state) {
    AlarmMonitor monitor;
    double now = 0;
    for (auto _ : state) {
        now += 0.076;
        benchmark::DoNotOptimize(monitor.reading("VOLT", 1.2L, now));
    }
}
BENCHMARK(BM_NoAlarmsPerReading);

} // namespace
} // namespace velmora

BENCHMARK_MAIN();
