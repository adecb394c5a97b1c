// The engine's readings and events to every server the user named: one hub for the window and the
// logger.
#pragma once

#include "acquisition/acquisition_engine.h"
#include "publish/publish_settings.h"
#include "publish/published_item.h"
#include "publish/reading_spool.h"
#include "publish/spool_publisher.h"
#include "record/recording_format.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

class MetricsEndpoint;

// Follows the engine: every reading (overloads and a burst's readings
// included) and the events that matter to a lab (the function, the port
// lost and back, the meter silent, alarms from the host) become items of a
// per-meter sequence; they go into the meter's spool and from there to
// MQTT and InfluxDB, and the last of each function to the /metrics
// endpoint. The host hears what to tell the user through onNotice, and
// asks statusLine() for its status bar or progress line. Main thread only.
class EnginePublishing : public QObject, private AcquisitionListener {
public:
    EnginePublishing(AcquisitionEngine& engine, std::string meter, QObject* parent = nullptr);
    ~EnginePublishing() override;

    // Opens the spool, starts the publishers and the endpoint; false, and
    // `error` says why, when one cannot be had (the spool locked by another
    // process, the endpoint's port taken). `spoolFolder` empty: the meter's
    // folder under $XDG_STATE_HOME.
    bool start(const PublishSetup& setup, std::string* error, std::string spoolFolder = {});
    // The last items out (at most `ms`), "offline" said, everything closed.
    void finish(int ms = 2000);
    bool active() const { return spool_ != nullptr || metrics_ != nullptr; }

    // From the host: the reading's math (asked during `reading`), its
    // alarms, and events of its own ("alarm ... raised").
    std::function<std::optional<RecordingMath>()> mathOfReading;
    std::function<std::vector<std::string>()> alarmsRaised;
    std::function<int()> freshForMs; // a reading older than this is not served as current
    void event(const std::string& text);
    void alarmsChanged();
    // A reading as the engine hands it out (what following the engine does).
    void publish(const Reading& reading);

    std::function<void(const std::string&)> onNotice;
    std::function<void()> onStateChanged;

    // "MQTT up · InfluxDB down, 120 waiting (Connection refused)", without
    // the servers' words unless `detail`: empty when nothing publishes.
    std::string statusLine(bool detail = true) const;
    // A publisher is behind (more than a second's worth waiting) or not up.
    bool troubled() const;
    const std::vector<std::unique_ptr<SpoolPublisher>>& publishers() const { return publishers_; }
    uint64_t published() const { return sequence_; }
    quint16 metricsPort() const;
    MetricsEndpoint* metrics() const { return metrics_.get(); }
    const std::string& spoolFolder() const;

private:
    void reading(const Reading& reading) override;
    void functionNamed(const std::string& function, const std::string& unit,
                       bool unitChanged) override;
    void portLost() override;
    void reconnected() override;
    void meterSilent(const std::string& query) override;
    void stopped() override;

    PublishedItem nextItem(PublishedItem::Kind kind, int64_t timeNs);
    void put(const PublishedItem& item);
    void linkState(bool up);
    void say(const std::string& text);

    AcquisitionEngine& engine_;
    std::string meter_;
    std::unique_ptr<ReadingSpool> spool_;
    std::vector<std::unique_ptr<SpoolPublisher>> publishers_;
    std::unique_ptr<MetricsEndpoint> metrics_;
    QTimer noticeTimer_; // the spool's own notices, looked at once a second
    QElapsedTimer started_;
    int64_t run_ = 0;
    uint64_t sequence_ = 0;
    int64_t lastTimeNs_ = 0; // strictly increasing per meter, across runs too
    std::string function_;
    bool listening_ = false;
};

} // namespace velmora
