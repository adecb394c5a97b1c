// TrendGraphData: the plotting library's point store, grown in modest steps.
#pragma once

#include <qcustomplot.h>

namespace velmora {

// The one copy of a series' points (16 bytes each). The store underneath
// doubles its capacity when it fills, which would leave a long run with up
// to 32 bytes per point; growing by a quarter instead keeps it within 20
// while an append stays amortised constant time.
class TrendGraphData : public QCPGraphDataContainer {
public:
    // `key` must not be below the last key (readings come in time order),
    // so the point goes to the end.
    void append(double key, double value);
    // Points the store has room for without growing.
    qsizetype capacity() const { return mData.capacity(); }
};

} // namespace velmora
