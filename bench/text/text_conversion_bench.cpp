// Benchmark: ParseReal beside strtold and FormatReal beside snprintf("%.15Lg")
// on meter replies; prints the two ratios after the runs.
#include "text/real_conversion.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <map>
#include <string>
#include <vector>

namespace {

// Replies as the meter sends them: sign, one digit, ".", eight digits, "E",
// sign, two digits, over the ranges and functions it measures.
const std::vector<std::string> kReplies = {
    "+1.16040760E+03", "-2.50000000E-04", "+9.90000000E+37", "+1.00023456E-01",
    "-1.23456789E+00", "+4.99999999E+05", "+0.00000000E+00", "+2.34567890E-06",
    "+1.00000000E+07", "-7.65432100E-03", "+5.00012345E+01", "+3.14159265E+02",
};

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The values the upper display shows: replies scaled into their prefix.
std::vector<long double> DisplayedValues() {
    std::vector<long double> values;
    for (const std::string& reply : kReplies) {
        const long double value = velmora::ParseReal(reply, '.');
        values.push_back(value / 1000);
        values.push_back(value * 1000);
        values.push_back(value);
    }
    return values;
}

void BM_ParseReal(benchmark::State& state) {
    for (auto _ : state) {
        for (const std::string& reply : kReplies) {
            benchmark::DoNotOptimize(velmora::ParseReal(reply, '.'));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kReplies.size()));
}
BENCHMARK(BM_ParseReal);

void BM_strtold(benchmark::State& state) {
    const locale_t locale = CLocale();
    for (auto _ : state) {
        for (const std::string& reply : kReplies) {
            benchmark::DoNotOptimize(strtold_l(reply.c_str(), nullptr, locale));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kReplies.size()));
}
BENCHMARK(BM_strtold);

void BM_FormatReal(benchmark::State& state) {
    const std::vector<long double> values = DisplayedValues();
    for (auto _ : state) {
        for (long double value : values) {
            benchmark::DoNotOptimize(velmora::FormatReal(value, '.'));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_FormatReal);

void BM_snprintf(benchmark::State& state) {
    const std::vector<long double> values = DisplayedValues();
    char text[64];
    for (auto _ : state) {
        for (long double value : values) {
            benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.15Lg", value));
            benchmark::ClobberMemory();
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_snprintf);

// Keeps the fastest CPU time per benchmark (the machine is shared, so wall
// time counts other processes), and --benchmark_repetitions makes the
// ratios less sensitive to a busy machine.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred) {
                continue;
            }
            const std::string name = run.run_name.function_name;
            const double time = run.GetAdjustedCPUTime();
            const auto found = fastest_.find(name);
            fastest_[name] = found == fastest_.end() ? time : std::min(found->second, time);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatio(const char* label, const std::string& ours, const std::string& theirs,
                    double target) const {
        const auto a = fastest_.find(ours);
        const auto b = fastest_.find(theirs);
        if (a == fastest_.end() || b == fastest_.end()) {
            return;
        }
        const double ratio = a->second / b->second;
        std::printf("%s = %.2f (target <= %.2f: %s)\n", label, ratio, target,
                    ratio <= target ? "met" : "MISSED");
    }

private:
    std::map<std::string, double> fastest_;
};

// The comparison is only fair when both readers agree on the values.
bool RepliesAgree() {
    for (const std::string& reply : kReplies) {
        if (velmora::ParseReal(reply, '.') != strtold_l(reply.c_str(), nullptr, CLocale())) {
            std::fprintf(stderr, "ParseReal and strtold differ on %s\n", reply.c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    const bool agree = RepliesAgree();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("ParseReal/strtold", "BM_ParseReal", "BM_strtold", 1.0);
    reporter.PrintRatio("FormatReal/snprintf", "BM_FormatReal", "BM_snprintf", 2.0);
    benchmark::Shutdown();
    return agree ? 0 : 1;
}
