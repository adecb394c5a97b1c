// What math costs a reading: the most expensive chain (a null, a type K thermocouple with its
// cold junction, a limit test) and the histogram's update, against a reading with no math.
// Target: at most 2 µs a reading more.
#include "math/histogram.h"
#include "math/reading_math.h"

#include <benchmark/benchmark.h>

namespace {

using namespace velmora;

// Readings around 4.1 mV: about 100 °C on a type K thermocouple.
long double Reading(int64_t i) {
    return 0.0041L + static_cast<long double>(i % 97) * 1e-7L;
}

void NoMath(benchmark::State& state) {
    ReadingMath math;
    int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(math.take("VOLT", Reading(i++), "V DC"));
    }
}
BENCHMARK(NoMath);

void ThermocoupleChain(benchmark::State& state) {
    MathSettings m;
    m.nullOn = true;
    m.nullOffset = 1.2e-6;
    m.conversion = MathConversion::Thermocouple;
    m.thermocouple = ThermocoupleType::K;
    m.coldJunctionCelsius = 22.5;
    m.limitsOn = true;
    m.limitLow = 95;
    m.limitHigh = 105;
    ReadingMath math;
    math.setSettings({{"VOLT", m}});
    Histogram histogram(90, 110, 40);
    int64_t i = 0;
    for (auto _ : state) {
        const std::optional<MathResult> r = math.take("VOLT", Reading(i++), "V DC");
        histogram.add(r->value);
        benchmark::DoNotOptimize(histogram.count());
    }
}
BENCHMARK(ThermocoupleChain);

void RtdChain(benchmark::State& state) {
    MathSettings m;
    m.conversion = MathConversion::Rtd;
    ReadingMath math;
    math.setSettings({{"FRES", m}});
    int64_t i = 0;
    for (auto _ : state) {
        // Below 0 °C, where the inverse takes Newton steps.
        benchmark::DoNotOptimize(
            math.take("FRES", 80.0L + static_cast<long double>(i++ % 7), "OHM"));
    }
}
BENCHMARK(RtdChain);

} // namespace

BENCHMARK_MAIN();
