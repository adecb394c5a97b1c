// Histograms.
#include "math/histogram.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace velmora {

Histogram::Histogram(double low, double high, size_t bins)
    : low_(low)
    , high_(high > low ? high : low + 1)
    , width_((high_ - low_) / static_cast<double>(std::max<size_t>(bins, 1)))
    , counts_(std::max<size_t>(bins, 1), 0) {}

void Histogram::add(double value) {
    if (!std::isfinite(value)) {
        ++overloads_;
        return;
    }
    if (value < low_) {
        ++underflow_;
    } else if (value >= high_) {
        ++overflow_;
    } else {
        const auto bin = static_cast<size_t>((value - low_) / width_);
        ++counts_[std::min(bin, counts_.size() - 1)];
    }
    ++n_;
    const double delta = value - mean_;
    mean_ += delta / static_cast<double>(n_);
    m2_ += delta * (value - mean_);
}

void Histogram::clear() {
    std::fill(counts_.begin(), counts_.end(), 0);
    underflow_ = overflow_ = overloads_ = n_ = 0;
    mean_ = m2_ = 0;
}

double Histogram::standardDeviation() const {
    return n_ > 1 ? std::sqrt(m2_ / static_cast<double>(n_ - 1)) : 0.0;
}

std::string Histogram::csv() const {
    std::string text = "low,high,count\n";
    char line[96];
    std::snprintf(line, sizeof line, ",%.10g,%llu\n", low_,
                  static_cast<unsigned long long>(underflow_));
    text += line;
    for (size_t i = 0; i < counts_.size(); ++i) {
        std::snprintf(line, sizeof line, "%.10g,%.10g,%llu\n",
                      low_ + width_ * static_cast<double>(i),
                      low_ + width_ * static_cast<double>(i + 1),
                      static_cast<unsigned long long>(counts_[i]));
        text += line;
    }
    std::snprintf(line, sizeof line, "%.10g,,%llu\n", high_,
                  static_cast<unsigned long long>(overflow_));
    return text + line;
}

Histogram HistogramFor(const std::vector<double>& values) {
    double low = 0;
    double high = 0;
    size_t n = 0;
    for (const double v : values) {
        if (!std::isfinite(v)) {
            continue;
        }
        low = n == 0 ? v : std::min(low, v);
        high = n == 0 ? v : std::max(high, v);
        ++n;
    }
    const size_t bins =
        std::clamp<size_t>(static_cast<size_t>(std::sqrt(static_cast<double>(n))), 5, 50);
    if (n == 0 || high <= low) {
        const double centre = n == 0 ? 0 : low;
        const double half = std::max(std::fabs(centre) * 1e-6, 1e-9);
        low = centre - half;
        high = centre + half;
    }
    // Round bin widths: 1, 2 or 5 times a power of ten.
    const double raw = (high - low) / static_cast<double>(bins);
    const double power = std::pow(10, std::floor(std::log10(raw)));
    double width = power;
    for (const double step : {1.0, 2.0, 5.0, 10.0}) {
        if (step * power >= raw) {
            width = step * power;
            break;
        }
    }
    const double start = std::floor(low / width) * width;
    const auto count = static_cast<size_t>(std::ceil((high - start) / width + 1e-9));
    Histogram histogram(start, start + width * static_cast<double>(std::max<size_t>(count, 1)),
                        std::max<size_t>(count, 1));
    for (const double v : values) {
        histogram.add(v);
    }
    return histogram;
}

} // namespace velmora
