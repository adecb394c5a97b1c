// A histogram of readings: fixed bins with under- and overflow, and the readings' statistics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// Bins [low, low + width), ... up to `high`; a value below `low` is in the
// underflow bin, one at or above `high` in the overflow bin. An overload is
// in no bin and counted apart. Mean and standard deviation (of the sample,
// n - 1) are of every value that is no overload.
class Histogram {
public:
    Histogram(double low, double high, size_t bins);

    void add(double value);
    void addOverload() { ++overloads_; }
    void clear();

    double low() const { return low_; }
    double high() const { return high_; }
    const std::vector<uint64_t>& counts() const { return counts_; }
    uint64_t underflow() const { return underflow_; }
    uint64_t overflow() const { return overflow_; }
    uint64_t overloads() const { return overloads_; }
    uint64_t count() const { return n_; }
    double mean() const { return mean_; }
    double standardDeviation() const;

    // "low,high,count" a line after a header, underflow and overflow first
    // and last: for the export.
    std::string csv() const;

private:
    double low_;
    double high_;
    double width_;
    std::vector<uint64_t> counts_;
    uint64_t underflow_ = 0;
    uint64_t overflow_ = 0;
    uint64_t overloads_ = 0;
    uint64_t n_ = 0;
    double mean_ = 0;
    double m2_ = 0; // Welford's running sum of squared differences
};

// Bins for `values` (overloads left out): about the square root of their
// number (5 to 50), over their range widened to round numbers.
Histogram HistogramFor(const std::vector<double>& values);

} // namespace velmora
