// The MQTT publisher against Debian's mosquitto on loopback: nothing lost over a broker
// outage, in order once repeats are dropped by sequence; the retained status; TLS with a CA
// file, to an address and to a name; a name not found; a refused password; a server that takes the
// connection and never answers.
#include "publish/mqtt_publisher.h"

#include "tests/publish/mosquitto_broker.h"
#include "tests/publish/publish_test_items.h"
#include "tests/support/event_wait.h"

#include <QHostInfo>
#include <QTcpServer>

#include <algorithm>

#include <gtest/gtest.h>

namespace velmora {
namespace {

using namespace std::chrono_literals;
using test::MosquittoBroker;
using test::MqttSubscriber;
using test::TempFolder;
using test::WaitForEvents;

constexpr const char* kReadings = "velmora/bench 1/reading";
constexpr const char* kStatus = "velmora/bench 1/status";

class MqttPublisherTest : public testing::Test {
protected:
    void SetUp() override {
        if (!MosquittoBroker::Installed()) {
            GTEST_SKIP() << "mosquitto, mosquitto_passwd or openssl is not installed "
                            "(scripts/setup installs them)";
        }
        ASSERT_TRUE(broker_.start());
    }

    MqttSettings settings(bool tls = false) {
        MqttSettings settings;
        std::string error;
        const std::string url =
            tls ? "mqtts://127.0.0.1:" + std::to_string(broker_.tlsPort()) : broker_.url();
        settings.server = *ParseServerUrl(url, kMqttSchemes, &error);
        settings.credentials = ReadCredentialsFile(broker_.passwordFile(), &error);
        if (tls) {
            settings.caFile = broker_.caFile();
        }
        return settings;
    }

    std::vector<std::string> payloads(MqttSubscriber& subscriber) {
        std::vector<std::string> found;
        for (const test::MqttMessage& message : subscriber.on(kReadings)) {
            found.push_back(message.payload);
        }
        return found;
    }

    MosquittoBroker broker_;
    TempFolder folder_;
};

TEST_F(MqttPublisherTest, ABrokerOutageLosesNothingAndRepeatsAtMostTheWindow) {
    MqttSubscriber subscriber(broker_.port(), {"velmora/+/reading", "velmora/+/status"});
    ASSERT_TRUE(WaitForEvents([&] { return subscriber.subscribed(); }, 10s));
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttSettings given = settings();
    given.window = 20;
    MqttPublisher publisher(given, "bench 1", spool);
    std::vector<std::string> said;
    publisher.onNotice = [&](const std::string& text) { said.push_back(text); };
    publisher.start();
    ASSERT_TRUE(
        WaitForEvents([&] { return publisher.state().link == PublisherState::Link::Up; }, 10s));
    test::AppendReadings(spool, 1, 150);
    publisher.itemsWaiting();
    // The broker goes while items are in flight; the rest wait in the spool.
    ASSERT_TRUE(WaitForEvents([&] { return spool.taken("mqtt") >= 40; }, 10s));
    broker_.stop();
    test::AppendReadings(spool, 151, 300);
    publisher.itemsWaiting();
    ASSERT_TRUE(
        WaitForEvents([&] { return publisher.state().link == PublisherState::Link::Down; }, 10s));
    EXPECT_GE(spool.waiting("mqtt"), 150u);
    ASSERT_FALSE(said.empty());
    EXPECT_TRUE(said[0].starts_with("MQTT: ") && said[0].ends_with("; retrying every second"))
        << said[0];
    ASSERT_TRUE(broker_.restart());
    ASSERT_TRUE(WaitForEvents([&] { return spool.waiting("mqtt") == 0; }, 20s))
        << spool.waiting("mqtt") << " waiting";
    ASSERT_TRUE(WaitForEvents(
        [&] { return test::BySequence(payloads(subscriber)).firstSeen.size() >= 300; }, 20s));
    const test::Deduplicated got = test::BySequence(payloads(subscriber));
    EXPECT_EQ(got.firstSeen, test::OneTo(300)) << [&] {
        std::string where;
        for (size_t i = 0; i < got.firstSeen.size(); ++i) {
            if (got.firstSeen[i] != i + 1) {
                where += std::to_string(i) + ":" + std::to_string(got.firstSeen[i]) + " ";
            }
        }
        return where.substr(0, 400);
    }();
    // Ours in flight at the outage, and the broker's to the subscriber.
    EXPECT_LE(got.repeats, given.window + test::kBrokerInflight);
    // The broker keeps "online" for whoever subscribes later.
    ASSERT_TRUE(WaitForEvents([&] { return !subscriber.on(kStatus).empty(); }, 5s));
    EXPECT_EQ(subscriber.on(kStatus).back().payload, "online");
    publisher.finish(2000);
    ASSERT_TRUE(
        WaitForEvents([&] { return subscriber.on(kStatus).back().payload == "offline"; }, 5s));
}

TEST_F(MqttPublisherTest, TlsWithTheCaFile) {
    MqttSubscriber subscriber(broker_.port(), {"velmora/+/reading", "velmora/+/status"});
    ASSERT_TRUE(WaitForEvents([&] { return subscriber.subscribed(); }, 10s));
    EXPECT_EQ(MqttPublisher::Try(settings(true), 5000), "connected");
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttPublisher publisher(settings(true), "bench 1", spool);
    publisher.start();
    test::AppendReadings(spool, 1, 5);
    publisher.itemsWaiting();
    ASSERT_TRUE(WaitForEvents([&] { return payloads(subscriber).size() >= 5; }, 10s))
        << publisher.state().detail;
    const QJsonObject first =
        QJsonDocument::fromJson(QByteArray::fromStdString(payloads(subscriber)[0])).object();
    EXPECT_EQ(first.value("unit").toString(), "V DC");
    EXPECT_EQ(first.value("value").toDouble(), 1.000001);
    EXPECT_EQ(first.value("status").toString(), "ok");
    // A connection that works is kept: one "online", no will from a dropped one.
    WaitForEvents([] { return false; }, 2500ms);
    EXPECT_EQ(subscriber.on(kStatus).size(), 1u);
    // Without the CA, the broker's own certificate is not trusted.
    MqttSettings untrusted = settings(true);
    untrusted.caFile.clear();
    EXPECT_NE(MqttPublisher::Try(untrusted, 3000), "connected");
}

// The test broker listens on 127.0.0.1 only; a machine whose "localhost"
// also means ::1 would send the client there first.
bool LocalhostIsOnlyIpv4() {
    const QList<QHostAddress> local = QHostInfo::fromName("localhost").addresses();
    return !local.isEmpty() && std::ranges::all_of(local, [](const QHostAddress& address) {
        return address == QHostAddress(QHostAddress::LocalHost);
    });
}

TEST_F(MqttPublisherTest, ABrokerGivenByNameIsFoundAndFoundAgainAfterAnOutage) {
    if (!LocalhostIsOnlyIpv4()) {
        GTEST_SKIP() << "\"localhost\" is not 127.0.0.1 alone here";
    }
    MqttSubscriber subscriber(broker_.port(), {"velmora/+/reading"});
    ASSERT_TRUE(WaitForEvents([&] { return subscriber.subscribed(); }, 10s));
    MqttSettings byName = settings(true);
    byName.server.host = "localhost";
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttPublisher publisher(byName, "bench 1", spool);
    publisher.start();
    test::AppendReadings(spool, 1, 3);
    publisher.itemsWaiting();
    ASSERT_TRUE(WaitForEvents([&] { return payloads(subscriber).size() >= 3; }, 10s))
        << publisher.state().detail;
    EXPECT_EQ(publisher.state().link, PublisherState::Link::Up);
    // Each try after an outage looks the name up again.
    broker_.stop();
    ASSERT_TRUE(
        WaitForEvents([&] { return publisher.state().link == PublisherState::Link::Down; }, 10s));
    ASSERT_TRUE(broker_.restart());
    ASSERT_TRUE(
        WaitForEvents([&] { return publisher.state().link == PublisherState::Link::Up; }, 10s))
        << publisher.state().detail;
}

TEST_F(MqttPublisherTest, AStopBeforeTheNameIsFoundConnectsNoMore) {
    MqttSubscriber subscriber(broker_.port(), {"velmora/+/status"});
    ASSERT_TRUE(WaitForEvents([&] { return subscriber.subscribed(); }, 10s));
    MqttSettings byName = settings();
    byName.server.host = "localhost";
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttPublisher publisher(byName, "bench 1", spool);
    publisher.start();
    publisher.finish(0); // the lookup's answer can only come in the event loop, after this
    WaitForEvents([] { return false; }, 2500ms);
    EXPECT_TRUE(subscriber.on(kStatus).empty()) << subscriber.on(kStatus).front().payload;
}

// A name no lookup can find; "bad..name" fails inside the resolver, so
// the test asks no name server.
TEST_F(MqttPublisherTest, ABrokerNameNotFoundIsSaidOnceAndNothingIsTaken) {
    MqttSettings unknown = settings();
    unknown.server.host = "bad..name";
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttPublisher publisher(unknown, "bench 1", spool);
    std::vector<std::string> said;
    publisher.onNotice = [&](const std::string& text) { said.push_back(text); };
    publisher.start();
    test::AppendReadings(spool, 1, 3);
    publisher.itemsWaiting();
    ASSERT_TRUE(
        WaitForEvents([&] { return publisher.state().link == PublisherState::Link::Down; }, 10s));
    WaitForEvents([] { return false; }, 2500ms);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0], "MQTT: cannot find bad..name: Invalid hostname; retrying every second");
    EXPECT_EQ(publisher.state().link, PublisherState::Link::Down);
    EXPECT_EQ(spool.waiting("mqtt"), 3u);
}

TEST_F(MqttPublisherTest, ARefusedPasswordIsSaidOnceAndNothingIsTaken) {
    MqttSettings wrong = settings();
    wrong.credentials->password = "not it";
    EXPECT_NE(MqttPublisher::Try(wrong, 5000).find("not authorised"), std::string::npos);
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttPublisher publisher(wrong, "bench 1", spool);
    std::vector<std::string> said;
    publisher.onNotice = [&](const std::string& text) { said.push_back(text); };
    publisher.start();
    test::AppendReadings(spool, 1, 3);
    publisher.itemsWaiting();
    ASSERT_TRUE(WaitForEvents(
        [&] { return publisher.state().link == PublisherState::Link::Refused; }, 10s));
    // Tried again every second, said once.
    WaitForEvents([] { return false; }, 2500ms);
    EXPECT_EQ(said.size(), 1u);
    EXPECT_EQ(spool.waiting("mqtt"), 3u);
    // What the broker said, for the status bar; without it for a narrow one.
    EXPECT_TRUE(DescribePublisher("MQTT", publisher.state())
                    .starts_with("MQTT refused, 3 waiting (the broker refused the connection: "))
        << DescribePublisher("MQTT", publisher.state());
    EXPECT_EQ(DescribePublisher("MQTT", publisher.state(), false), "MQTT refused, 3 waiting");
}

TEST_F(MqttPublisherTest, AServerThatNeverAnswersIsNotTakenForABroker) {
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    MqttSettings mute = settings();
    mute.server.port = silent.serverPort();
    EXPECT_EQ(MqttPublisher::Try(mute, 1500), "no answer from the broker");
    ReadingSpool spool(folder_ / "spool", {"mqtt"});
    MqttPublisher publisher(mute, "bench 1", spool);
    publisher.start();
    test::AppendReadings(spool, 1, 3);
    publisher.itemsWaiting();
    WaitForEvents([] { return false; }, 1500ms);
    EXPECT_NE(publisher.state().link, PublisherState::Link::Up);
    EXPECT_EQ(spool.waiting("mqtt"), 3u);
}

} // namespace
} // namespace velmora
