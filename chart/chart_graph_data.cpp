// Growth policy of the chart's point store.
#include "chart/chart_graph_data.h"

#include <algorithm>

namespace velmora {

namespace {

constexpr qsizetype kMinimumGrowth = 4096;

} // namespace

void TrendGraphData::append(double key, double value) {
    if (mData.size() == mData.capacity()) {
        mData.reserve(mData.size() + std::max(kMinimumGrowth, mData.size() / 4));
    }
    add(QCPGraphData(key, value));
}

} // namespace velmora
