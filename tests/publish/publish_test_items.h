// Items as the hub makes them, for the publishers' tests.
#pragma once

#include "acquisition/meter_transport.h"
#include "publish/published_item.h"
#include "publish/reading_spool.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace velmora::test {

// A line with nothing on the other end: the readings come from the test
// itself; losing it is the only thing it can do.
class IdleLine : public MeterTransport {
public:
    bool isOpen() const override { return open_; }
    void open() override { open_ = true; }
    void close() override { open_ = false; }
    bool send(std::string_view) override { return true; }
    void setEndReadAtLineFeed(bool) override {}
    void watchForReturn(std::function<void()>) override {}
    void stopWatching() override {}
    bool retryAfterOpenError(const std::exception&) override { return false; }

private:
    bool open_ = true;
};

// Reading `sequence` of "bench 1": 1.000001 * sequence volts, a millisecond apart.
inline PublishedItem TestReading(uint64_t sequence, const std::string& meter = "bench 1") {
    PublishedItem item;
    item.meter = meter;
    item.sequence = sequence;
    item.run = 1765361700000;
    item.timeNs = 1'765'361'700'000'000'000 + static_cast<int64_t>(sequence) * 1'000'000;
    item.seconds = static_cast<double>(sequence) / 1000.0;
    item.value = 1.000001 * static_cast<double>(sequence);
    item.unit = "V DC";
    item.function = "VOLT";
    item.status = "ok";
    return item;
}

inline void AppendReadings(ReadingSpool& spool, uint64_t from, uint64_t to) {
    for (uint64_t sequence = from; sequence <= to; ++sequence) {
        spool.append(SpoolRecord(TestReading(sequence)));
    }
}

// The sequences of JSON payloads in the order they first came, and how
// many came again.
struct Deduplicated {
    std::vector<uint64_t> firstSeen;
    size_t repeats = 0;
};

inline Deduplicated BySequence(const std::vector<std::string>& payloads) {
    Deduplicated result;
    std::set<uint64_t> seen;
    for (const std::string& payload : payloads) {
        const QJsonObject json =
            QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
        const auto sequence = static_cast<uint64_t>(json.value("sequence").toInteger());
        if (seen.insert(sequence).second) {
            result.firstSeen.push_back(sequence);
        } else {
            ++result.repeats;
        }
    }
    return result;
}

inline std::vector<uint64_t> OneTo(uint64_t last) {
    std::vector<uint64_t> all;
    for (uint64_t i = 1; i <= last; ++i) {
        all.push_back(i);
    }
    return all;
}

} // namespace velmora::test
