// Items from the spool to InfluxDB 1.x: line protocol over HTTP, in batches.
#pragma once

#include "publish/reading_spool.h"
#include "publish/server_url.h"
#include "publish/spool_publisher.h"

#include <QObject>
#include <QTimer>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

namespace velmora {

struct InfluxSettings {
    ServerUrl server; // http:// or https://; the path or ?db= names the database
    std::optional<Credentials> credentials;
    std::string measurement = "velmora";
    size_t batchPoints = 5000; // a batch goes at this many points, or after batchMs
    int batchMs = 1000;
    int answerTimeoutMs = 10000; // a server that takes the request and never answers
    std::string database() const;
};

// One batch on the way at a time, so the points arrive in order. 204 takes
// the batch; a "partial write" takes it too and counts the points the
// server names as dropped; another 400 splits the batch in halves until
// the point it refuses stands alone, and only that point is dropped (said
// once, counted). A missing database, a refused password, a 5xx or no
// answer leave the batch in the spool and try again every second.
class InfluxPublisher : public QObject, public SpoolPublisher {
public:
    InfluxPublisher(InfluxSettings settings, ReadingSpool& spool, QObject* parent = nullptr);
    ~InfluxPublisher() override;

    std::string name() const override { return "InfluxDB"; }
    std::string consumer() const override { return "influx"; }
    void start() override;
    void itemsWaiting() override;
    void finish(int ms) override;
    uint64_t refused() const { return refused_; }

    // What the server says to a query of its databases ("database lab is there").
    static std::string Try(const InfluxSettings& settings, int timeoutMs);

private:
    void send();
    void answered(QNetworkReply* reply);
    // The batch in flight was taken (or given up) up to `index`.
    void taken(uint64_t index);
    void retryLater(std::string why);

    InfluxSettings settings_;
    QNetworkAccessManager* network_;
    QTimer batchTimer_; // the longest a point waits for its batch
    QTimer retryTimer_;
    QNetworkReply* inFlight_ = nullptr;
    // The points of the batch on the way: spool index and line.
    std::vector<std::pair<uint64_t, std::string>> batch_;
    // The halves still to send of a batch the server refused whole.
    std::vector<std::vector<std::pair<uint64_t, std::string>>> split_;
    uint64_t sentUpTo_ = 0;
    uint64_t refused_ = 0; // refused alone after splitting
    bool refusedSaid_ = false;
};

} // namespace velmora
