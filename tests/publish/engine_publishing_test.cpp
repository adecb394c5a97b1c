// The hub: what each reading and event becomes in the spool (status, time, unit, math, the
// meter's sequence), times that strictly increase across a restart, and a spool another
// process holds.
#include "publish/engine_publishing.h"

#include "publish/metrics_endpoint.h"

#include "record/recording_format.h"
#include "tests/publish/publish_test_items.h"
#include "tests/publish/server_process.h"
#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

namespace velmora {
namespace {

using test::TempFolder;

constexpr int64_t kSecond = 1'000'000'000;
const timespec kArrival{1'765'361'700, 123'456'789};
constexpr int64_t kArrivalNs = 1'765'361'700 * kSecond + 123'456'789;

// Publishing to a broker nobody runs: every item stays in the spool.
PublishSetup NowhereSetup() {
    PublishConfig config;
    config.mqttUrl = "mqtt://127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    std::string error;
    return *ResolvePublishing(config, &error);
}

Reading At(long double value, timespec arrived, std::optional<double> spreadBack = {}) {
    Reading r;
    r.value = value;
    r.unit = "V DC";
    r.function = "VOLT";
    r.arrivedAt = arrived;
    r.spreadBack = spreadBack;
    return r;
}

std::vector<PublishedItem> Spooled(const std::string& folder) {
    ReadingSpool spool(folder, {"mqtt"});
    std::vector<PublishedItem> items;
    for (const auto& [index, record] : spool.after(0, 1000)) {
        items.push_back(*ParseSpoolRecord(record));
    }
    return items;
}

TEST(EnginePublishingTest, EachReadingAndEventAsTheRecordingWouldHaveIt) {
    TempFolder folder;
    test::IdleLine line;
    AcquisitionEngine engine(line);
    std::optional<RecordingMath> math;
    {
        EnginePublishing hub(engine, "bench 1");
        hub.mathOfReading = [&] { return math; };
        std::string error;
        ASSERT_TRUE(hub.start(NowhereSetup(), &error, folder / "spool")) << error;
        hub.publish(At(1.5L, kArrival));
        hub.publish(At(1.25L, kArrival)); // the same nanosecond
        hub.publish(At(9.9E37L, kArrival));
        hub.publish(At(2.5L, timespec{kArrival.tv_sec + 1, kArrival.tv_nsec}, 0.25));
        Reading pending = At(3.5L, timespec{kArrival.tv_sec + 2, 0});
        pending.functionPending = true;
        pending.function.clear();
        hub.publish(pending);
        math = RecordingMath{21.5, "\u00B0C", "pass"};
        hub.publish(At(4.5L, timespec{kArrival.tv_sec + 3, 0}));
        hub.event("alarm raised Over 5 V");
        engine.lineLost(); // the engine's own news
        EXPECT_EQ(hub.published(), 8u);
    }
    const std::vector<PublishedItem> items = Spooled(folder / "spool");
    ASSERT_EQ(items.size(), 8u);
    const struct {
        const char* status;
        std::optional<double> value;
        int64_t timeNs; // 0: not looked at (an event's own clock)
        const char* unit;
        const char* event;
    } expected[] = {
        {"ok", 1.5, kArrivalNs, "V DC", ""},
        {"ok", 1.25, kArrivalNs + 1, "V DC", ""},
        {"overload", std::nullopt, kArrivalNs + 2, "V DC", ""},
        // A burst's reading a quarter second before its arrival.
        {"burst", 2.5, kArrivalNs + kSecond - kSecond / 4, "V DC", ""},
        // A measure query's reply before its function is named: no unit.
        {"ok", 3.5, (kArrivalNs / kSecond + 2) * kSecond, "", ""},
        {"ok", 4.5, (kArrivalNs / kSecond + 3) * kSecond, "V DC", ""},
        {"", std::nullopt, 0, "", "alarm raised Over 5 V"},
        {"", std::nullopt, 0, "", "port lost"},
    };
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i].sequence, i + 1);
        EXPECT_EQ(items[i].meter, "bench 1");
        EXPECT_EQ(items[i].status, expected[i].status);
        EXPECT_EQ(items[i].value, expected[i].value);
        EXPECT_EQ(items[i].unit, expected[i].unit);
        EXPECT_EQ(items[i].event, expected[i].event);
        if (expected[i].timeNs != 0) {
            EXPECT_EQ(items[i].timeNs, expected[i].timeNs);
        }
        if (i > 0) {
            EXPECT_GT(items[i].timeNs, items[i - 1].timeNs);
        }
    }
    EXPECT_EQ(items[5].math, 21.5);
    EXPECT_EQ(items[5].mathUnit, "\u00B0C");
    EXPECT_EQ(items[5].limit, "pass");
    EXPECT_FALSE(items[4].math);
    // The burst's time is the one the recording gives the same reading.
    RecordingRow row;
    row.wallClock = timespec{kArrival.tv_sec + 1, kArrival.tv_nsec};
    row.spreadBack = 0.25;
    ApplySpreadBack(row);
    EXPECT_EQ(ItemTime(items[3]), FormatRecordingTime(row.wallClock));
}

TEST(EnginePublishingTest, TheMetricsPageFollowsTheLinkTheReadingsAndTheAlarms) {
    TempFolder folder;
    test::IdleLine line;
    AcquisitionEngine engine(line);
    EnginePublishing hub(engine, "bench 1");
    std::vector<std::string> raised;
    hub.alarmsRaised = [&] { return raised; };
    hub.freshForMs = [] { return 60'000; };
    PublishSetup setup = NowhereSetup();
    setup.metrics = "127.0.0.1:0";
    std::string error;
    ASSERT_TRUE(hub.start(setup, &error, folder / "spool")) << error;
    ASSERT_NE(hub.metricsPort(), 0);
    const auto page = [&] {
        return hub.metrics()->state().exposition(std::chrono::steady_clock::now(),
                                                 std::chrono::milliseconds(60'000));
    };
    engine.lineLost();
    EXPECT_NE(page().find("velmora_link_up{meter=\"bench 1\"} 0"), std::string::npos) << page();
    // A reading is the link back, and is served.
    hub.publish(At(1.5L, kArrival));
    EXPECT_NE(page().find("velmora_link_up{meter=\"bench 1\"} 1"), std::string::npos) << page();
    EXPECT_NE(page().find("velmora_reading{meter=\"bench 1\",function=\"VOLT\",unit=\"V DC\"} 1.5"),
              std::string::npos)
        << page();
    raised = {"Over 1 V"};
    hub.alarmsChanged();
    EXPECT_NE(page().find("velmora_alarm_raised{meter=\"bench 1\",alarm=\"Over 1 V\"} 1"),
              std::string::npos)
        << page();
}

TEST(EnginePublishingTest, TimesGoOnFromTheLastRunsAndASpoolInUseIsRefused) {
    TempFolder folder;
    test::IdleLine line;
    AcquisitionEngine engine(line);
    std::string error;
    {
        EnginePublishing first(engine, "bench 1");
        ASSERT_TRUE(first.start(NowhereSetup(), &error, folder / "spool")) << error;
        first.publish(At(1, kArrival));
        // Another program for the same meter is kept out while this one runs.
        EnginePublishing second(engine, "bench 1");
        EXPECT_FALSE(second.start(NowhereSetup(), &error, folder / "spool"));
        EXPECT_NE(error.find("another Velmora"), std::string::npos) << error;
    }
    // The next run, its clock stepped back: still after the last one spooled.
    EnginePublishing next(engine, "bench 1");
    ASSERT_TRUE(next.start(NowhereSetup(), &error, folder / "spool")) << error;
    next.publish(At(2, timespec{kArrival.tv_sec - 60, 0}));
    next.finish(0);
    const std::vector<PublishedItem> items = Spooled(folder / "spool");
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].sequence, 1u); // counted from the program's start
    EXPECT_NE(items[1].run, 0);
    EXPECT_EQ(items[1].timeNs, kArrivalNs + 1);
}

} // namespace
} // namespace velmora
