// Histograms: the bins' counts, under- and overflow, overloads apart, the statistics, the export.
#include "math/histogram.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velmora {
namespace {

TEST(Histogram, CountsEachValueInItsBin) {
    Histogram h(0, 3, 3);
    for (const double v : {0.5, 1.5, 1.5, 2.0}) {
        h.add(v);
    }
    h.addOverload();
    EXPECT_EQ(h.counts(), (std::vector<uint64_t>{1, 2, 1}));
    EXPECT_EQ(h.overloads(), 1u);
    EXPECT_EQ(h.count(), 4u) << "the overload is in no bin and not in the statistics";
    EXPECT_DOUBLE_EQ(h.mean(), 1.375);
    EXPECT_NEAR(h.standardDeviation(), std::sqrt(1.1875 / 3), 1e-12);
    h.add(-0.1);
    h.add(3.0); // the top edge belongs to the overflow
    h.add(std::nan(""));
    EXPECT_EQ(h.underflow(), 1u);
    EXPECT_EQ(h.overflow(), 1u);
    EXPECT_EQ(h.overloads(), 2u);
    EXPECT_EQ(h.csv(), "low,high,count\n,0,1\n0,1,1\n1,2,2\n2,3,1\n3,,1\n");
    Histogram tenths(0, 0.3, 3);
    tenths.add(0.15);
    EXPECT_EQ(tenths.csv(), "low,high,count\n,0,0\n0,0.1,0\n0.1,0.2,1\n0.2,0.3,0\n0.3,,0\n")
        << "bin edges as ten digits";
    h.clear();
    EXPECT_EQ(h.count(), 0u);
    EXPECT_EQ(h.counts(), (std::vector<uint64_t>{0, 0, 0}));
}

TEST(Histogram, AutomaticBinsAreRoundAndHoldEveryValue) {
    std::vector<double> values;
    for (int i = 0; i < 100; ++i) {
        values.push_back(1.2345 + 0.0001 * i);
    }
    values.push_back(9.9E37 * 0 + std::nan(""));
    const Histogram h = HistogramFor(values);
    EXPECT_EQ(h.count(), 100u);
    EXPECT_EQ(h.underflow() + h.overflow(), 0u);
    EXPECT_EQ(h.overloads(), 1u);
    EXPECT_GE(h.counts().size(), 5u);
    EXPECT_LE(h.counts().size(), 50u);
    const double width = (h.high() - h.low()) / static_cast<double>(h.counts().size());
    bool round = false;
    for (int power = -12; power <= 12; ++power) {
        for (const double step : {1.0, 2.0, 5.0}) {
            round = round || std::fabs(width - step * std::pow(10, power)) < width * 1e-9;
        }
    }
    EXPECT_TRUE(round) << "1, 2 or 5 times a power of ten, not " << width;
    const Histogram same = HistogramFor({4.0, 4.0, 4.0});
    EXPECT_EQ(same.count(), 3u);
    EXPECT_EQ(same.underflow() + same.overflow(), 0u) << "one value: still a bin to hold it";
}

} // namespace
} // namespace velmora
