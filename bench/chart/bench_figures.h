// Small helpers of the chart bench: heap use, and medians of timed samples.
#pragma once

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <vector>

namespace velmora::bench {

using Clock = std::chrono::steady_clock;

// Bytes in use on the heap (small blocks and mapped large blocks).
inline size_t HeapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

struct Spread {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

inline Spread SpreadOf(std::vector<double> samples) {
    if (samples.empty()) {
        return {};
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100], samples.back()};
}

inline double Microseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::micro>(duration).count();
}

inline double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

} // namespace velmora::bench
