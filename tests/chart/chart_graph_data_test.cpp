// The chart's point store: every point kept in order, memory within a quarter of the points.
#include "chart/chart_graph_data.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmora {
namespace {

TEST(TrendGraphData, GrowsByAQuarterSoALongRunKeepsItsMemoryAndItsSpeed) {
    // A night of readings at ten a second is some 300 000 points.
    constexpr int kPoints = 300000;
    TrendGraphData data;
    qsizetype capacity = data.capacity();
    int growths = 0;
    for (int i = 0; i < kPoints; ++i) {
        data.append(i, i * 0.5);
        const qsizetype size = data.size();
        if (data.capacity() != capacity) {
            ++growths;
            capacity = data.capacity();
            // Room for at most a quarter more (or the first 4096): 20 bytes a point, not 32.
            ASSERT_LE(capacity, size + std::max<qsizetype>(4096, size / 4)) << "at " << size;
            // Growing by a quarter from 4096 reaches 300 000 in about 20 steps;
            // an append that reallocated each time would make the run quadratic.
            ASSERT_LE(growths, 30) << "at " << size;
        }
    }
    EXPECT_EQ(data.size(), kPoints);
    EXPECT_GE(data.capacity(), data.size());
    EXPECT_GT(growths, 0);
    EXPECT_EQ(data.at(0)->key, 0.0);
    EXPECT_EQ(data.at(kPoints - 1)->key, kPoints - 1.0);
    EXPECT_EQ(data.at(kPoints - 1)->value, (kPoints - 1) * 0.5);
}

} // namespace
} // namespace velmora
