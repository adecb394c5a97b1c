// Names and units escaped for each protocol, with one table of hostile names each; the items'
// spool lines read back as they were written.
#include "publish/publish_text.h"
#include "publish/published_item.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace velmora {
namespace {

struct Escape {
    const char* given;
    const char* expected;
};

TEST(MqttTopicLevelTest, HostileNamesStayOneLevelAndNoWildcard) {
    const Escape cases[] = {
        {"bench 1", "bench 1"}, {"lab/bench", "lab_bench"},
        {"a+b#c", "a_b_c"},     {"$SYS", "_SYS"},
        {"x$y", "x$y"},         {"", "_"},
        {"Ω-meter", "Ω-meter"}, {"a,b=\"c\"", "a,b=\"c\""},
        {"//", "__"},
    };
    for (const Escape& c : cases) {
        EXPECT_EQ(MqttTopicLevel(c.given), c.expected) << c.given;
    }
    EXPECT_EQ(MqttTopicLevel(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(MqttTopic("velmora/<meter>/reading", "lab/1"), "velmora/lab_1/reading");
    EXPECT_EQ(MqttTopic("<meter>/<meter>", "#"), "_/_");
    EXPECT_EQ(MqttTopic("fixed/topic", "x"), "fixed/topic");
}

TEST(JsonStringTest, EveryTextIsOneValidStringLiteral) {
    const Escape cases[] = {
        {"V DC", "\"V DC\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"line\nend", "\"line\\u000aend\""},
        {"tab\there", "\"tab\\u0009here\""},
        {"°C Ω", "\"°C Ω\""},
        {"bad \xff byte", "\"bad \xEF\xBF\xBD byte\""},
        {"cut \xE2\x84", "\"cut \xEF\xBF\xBD\xEF\xBF\xBD\""},
        {"a,b=c", "\"a,b=c\""},
    };
    for (const Escape& c : cases) {
        EXPECT_EQ(JsonString(c.given), c.expected) << c.given;
    }
}

TEST(InfluxEscapeTest, TagsMeasurementsAndStringFieldsEscapedAsTheProtocolWants) {
    struct Case {
        const char* given;
        const char* tag;
        const char* measurement;
        const char* field;
    } cases[] = {
        {"bench 1", "bench\\ 1", "bench\\ 1", "\"bench 1\""},
        {"a,b", "a\\,b", "a\\,b", "\"a,b\""},
        {"k=v", "k\\=v", "k=v", "\"k=v\""},
        {"say \"x\"", "say\\ \"x\"", "say\\ \"x\"", "\"say \\\"x\\\"\""},
        {"two\nlines", "two\\ lines", "two\\ lines", "\"two lines\""},
        {"°C", "°C", "°C", "\"°C\""},
        // The server keeps backslashes as they are and cannot take one
        // that ends a name or precedes an escaped character.
        {"a\\b", "a\\b", "a\\b", "\"a\\\\b\""},
        {"end\\", "end_", "end_", "\"end\\\\\""},
        {"a\\ b", "a_\\ b", "a_\\ b", "\"a\\\\ b\""},
        {"\xff", "\xEF\xBF\xBD", "\xEF\xBF\xBD", "\"\xEF\xBF\xBD\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InfluxTag(c.given), c.tag) << c.given;
        EXPECT_EQ(InfluxMeasurement(c.given), c.measurement) << c.given;
        EXPECT_EQ(InfluxStringField(c.given), c.field) << c.given;
    }
}

TEST(PrometheusLabelValueTest, BackslashQuoteAndLineFeedEscaped) {
    const Escape cases[] = {
        {"plain", "plain"},
        {"a\\b", "a\\\\b"},
        {"say \"x\"", "say \\\"x\\\""},
        {"two\nlines", "two\\nlines"},
        {"a,b=c d", "a,b=c d"},
        {"Ω", "Ω"},
        {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Escape& c : cases) {
        EXPECT_EQ(PrometheusLabelValue(c.given), c.expected) << c.given;
    }
}

PublishedItem Sample() {
    PublishedItem item;
    item.meter = "bench 1";
    item.sequence = 42;
    item.run = 1765361700000;
    item.timeNs = 1'765'361'700'123'456'789;
    item.seconds = 12.3456;
    item.value = 1160.4076;
    item.unit = "OHM";
    item.function = "RES";
    item.status = "ok";
    return item;
}

TEST(ReadingJsonTest, FieldsAsALabScriptReadsThem) {
    setenv("TZ", "UTC", 1);
    tzset();
    PublishedItem item = Sample();
    EXPECT_EQ(ReadingJson(item),
              "{\"meter\":\"bench 1\",\"run\":1765361700000,\"sequence\":42,"
              "\"time\":\"2025-12-10T10:15:00.123+00:00\",\"seconds\":12.346,"
              "\"value\":1160.4076,\"unit\":\"OHM\",\"function\":\"RES\",\"status\":\"ok\"}");
    // An overload has a status and no number; the math rides along.
    item.value.reset();
    item.status = "overload";
    item.mathUnit = "°C";
    EXPECT_EQ(ReadingJson(item), "{\"meter\":\"bench 1\",\"run\":1765361700000,\"sequence\":42,"
                                 "\"time\":\"2025-12-10T10:15:00.123+00:00\",\"seconds\":12.346,"
                                 "\"unit\":\"OHM\",\"function\":\"RES\",\"status\":\"overload\","
                                 "\"math\":null,\"math_unit\":\"°C\"}");
    item.kind = PublishedItem::Kind::Event;
    item.event = "port lost";
    EXPECT_EQ(EventJson(item), "{\"meter\":\"bench 1\",\"run\":1765361700000,\"sequence\":42,"
                               "\"time\":\"2025-12-10T10:15:00.123+00:00\","
                               "\"event\":\"port lost\"}");
}

TEST(InfluxLineTest, OnePointWithEscapedTagsAndTypedFields) {
    PublishedItem item = Sample();
    item.unit = "V DC";
    item.function = "VOLT";
    EXPECT_EQ(InfluxLine("velmora", item),
              "velmora,function=VOLT,meter=bench\\ 1,unit=V\\ DC "
              "value=1160.4076,status=\"ok\",sequence=42i 1765361700123456789");
    // Overload: no value field; math fields when the function has math.
    item.value.reset();
    item.status = "overload";
    item.math = 21.5;
    item.mathUnit = "°C";
    item.limit = "high";
    item.unit.clear();
    EXPECT_EQ(InfluxLine("lab bench", item),
              "lab\\ bench,function=VOLT,meter=bench\\ 1 "
              "status=\"overload\",sequence=42i,math=21.5,math_unit=\"°C\",limit=\"high\" "
              "1765361700123456789");
}

TEST(SpoolRecordTest, EveryFieldReadsBackAndTornLinesAreRefused) {
    PublishedItem item = Sample();
    item.meter = "tab\there\nnew\\line";
    item.math = -0.25;
    item.mathUnit = "dBm";
    item.limit = "low";
    const std::string line = SpoolRecord(item);
    EXPECT_EQ(line.find('\n'), std::string::npos);
    const std::optional<PublishedItem> back = ParseSpoolRecord(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->meter, item.meter);
    EXPECT_EQ(back->sequence, 42u);
    EXPECT_EQ(back->run, item.run);
    EXPECT_EQ(back->timeNs, item.timeNs);
    EXPECT_EQ(back->seconds, item.seconds);
    EXPECT_EQ(back->value, item.value);
    EXPECT_EQ(back->math, -0.25);
    EXPECT_EQ(back->mathUnit, "dBm");
    EXPECT_EQ(back->limit, "low");
    EXPECT_EQ(back->kind, PublishedItem::Kind::Reading);
    item.value.reset();
    item.kind = PublishedItem::Kind::Event;
    const std::optional<PublishedItem> event = ParseSpoolRecord(SpoolRecord(item));
    ASSERT_TRUE(event);
    EXPECT_FALSE(event->value);
    EXPECT_EQ(event->kind, PublishedItem::Kind::Event);
    // Lines a crash cut short before their last field are no item (the
    // spool itself only reads lines that end).
    for (const size_t cut : {size_t{1}, line.size() / 2}) {
        EXPECT_FALSE(ParseSpoolRecord(line.substr(0, cut))) << line.substr(0, cut);
    }
    EXPECT_FALSE(ParseSpoolRecord("R\tx"));
}

} // namespace
} // namespace velmora
