// Items from the spool to an MQTT broker, one message each, through libmosquitto.
#pragma once

#include "publish/reading_spool.h"
#include "publish/server_url.h"
#include "publish/spool_publisher.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

struct mosquitto;

namespace velmora {

struct MqttSettings {
    ServerUrl server;   // mqtt:// or mqtts://
    std::string caFile; // for mqtts://; the system's store when empty
    std::optional<Credentials> credentials;
    std::string readingTopic = "velmora/<meter>/reading";
    std::string eventTopic = "velmora/<meter>/event";
    std::string statusTopic = "velmora/<meter>/status"; // retained "online"/"offline"
    int qos = 1;
    std::string clientId; // "velmora-<meter>" when empty
    int keepAliveSeconds = 5;
    // Messages published and not yet acknowledged, at most: what a broker
    // outage or a crash may send twice.
    int window = 100;
};

// The broker's acknowledgement (QoS 1 and 2) moves the spool's cursor on,
// in order. While the broker is away it is tried again every second and
// libmosquitto keeps what was in flight, sending it again on the next
// connection; new items wait in the spool. The last will publishes
// "offline" (retained) when the program dies; a clean stop says so itself.
// The client runs on the main thread's event loop (its socket watched
// there), so no thread stands between a reading and its message.
class MqttPublisher : public QObject, public SpoolPublisher {
public:
    MqttPublisher(MqttSettings settings, std::string meter, ReadingSpool& spool,
                  QObject* parent = nullptr);
    ~MqttPublisher() override;

    std::string name() const override { return "MQTT"; }
    std::string consumer() const override { return "mqtt"; }
    void start() override;
    void itemsWaiting() override { pump(); }
    void finish(int ms) override;

    // A short connection to see what the broker says ("connected", or why not).
    static std::string Try(const MqttSettings& settings, int timeoutMs);

private:
    // The client's callbacks, from inside its read and write calls.
    void connected(int code);
    void disconnected(int code);
    void acknowledged(int mid);

    bool newClient();
    void connectNow(); // the broker's name looked up first, off this thread
    void connectResolved();
    void watchSocket();
    void dropSocket();
    // After each turn of the client: whether it has bytes to write, and
    // whether the connection went.
    void serviced(int rc);
    void lost(const std::string& why);
    void pump();

    MqttSettings settings_;
    std::string meter_;
    mosquitto* client_ = nullptr;
    QSocketNotifier* reader_ = nullptr;
    QSocketNotifier* writer_ = nullptr;
    QTimer housekeeping_; // keep-alive and retries once a second, and reconnecting
    bool up_ = false;
    bool lookingUp_ = false;
    bool finishing_ = false;
    uint64_t sentUpTo_ = 0;                   // the last index handed to the client
    std::map<int, uint64_t> inFlight_;        // message id -> spool index
    std::map<uint64_t, bool> unacknowledged_; // spool index -> acknowledged yet
    bool pumpPosted_ = false;
    int offlineMid_ = -1; // the clean stop's "offline"
    bool offlineAcknowledged_ = false;
};

} // namespace velmora
