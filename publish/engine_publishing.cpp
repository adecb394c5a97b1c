// The engine's readings and events to every server the user named.
#include "publish/engine_publishing.h"

#include "publish/influx_publisher.h"
#include "publish/metrics_endpoint.h"
#include "publish/mqtt_publisher.h"

#include <QDateTime>

#include <chrono>
#include <cmath>
#include <stdexcept>

namespace velmora {
namespace {

int64_t Nanoseconds(const timespec& wall) {
    return static_cast<int64_t>(wall.tv_sec) * 1'000'000'000 + wall.tv_nsec;
}

} // namespace

EnginePublishing::EnginePublishing(AcquisitionEngine& engine, std::string meter, QObject* parent)
    : QObject(parent)
    , engine_(engine)
    , meter_(std::move(meter)) {
    noticeTimer_.setInterval(1000);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        if (spool_) {
            if (std::optional<std::string> notice = spool_->takeNotice()) {
                say(*notice);
            }
        }
        if (onStateChanged) {
            onStateChanged(); // the waiting counts move while a server is away
        }
    });
}

EnginePublishing::~EnginePublishing() {
    finish(0);
}

bool EnginePublishing::start(const PublishSetup& setup, std::string* error,
                             std::string spoolFolder) {
    started_.start();
    run_ = QDateTime::currentMSecsSinceEpoch();
    std::vector<std::string> consumers;
    if (setup.mqtt) {
        consumers.push_back("mqtt");
    }
    if (setup.influx) {
        consumers.push_back("influx");
    }
    try {
        if (!consumers.empty()) {
            ReadingSpool::Limits limits;
            if (setup.spoolLimitBytes > 0) {
                limits.limitBytes = setup.spoolLimitBytes;
                limits.segmentBytes = std::min(limits.segmentBytes, setup.spoolLimitBytes / 4 + 1);
            }
            spool_ = std::make_unique<ReadingSpool>(
                spoolFolder.empty() ? SpoolFolderFor(meter_) : spoolFolder, consumers, limits);
            // Times go on from the last one spooled, an earlier run's too.
            if (const std::optional<std::string> last = spool_->lastRecord()) {
                if (const std::optional<PublishedItem> item = ParseSpoolRecord(*last)) {
                    lastTimeNs_ = item->timeNs;
                }
            }
        }
    } catch (const std::exception& e) {
        if (error) {
            *error = e.what();
        }
        return false;
    }
    if (!setup.metrics.empty()) {
        std::string why;
        const auto address = ParseMetricsAddress(setup.metrics, &why);
        if (!address) {
            if (error) {
                *error = "metrics: " + why;
            }
            spool_.reset();
            return false;
        }
        metrics_ = std::make_unique<MetricsEndpoint>();
        metrics_->freshFor = [this] {
            return std::chrono::milliseconds(freshForMs ? freshForMs() : engine_.replyTimeoutMs());
        };
        if (!metrics_->listen(address->first, address->second, &why)) {
            if (error) {
                *error = "metrics: " + why;
            }
            metrics_.reset();
            spool_.reset();
            return false;
        }
    }
    if (setup.mqtt) {
        publishers_.push_back(std::make_unique<MqttPublisher>(*setup.mqtt, meter_, *spool_));
    }
    if (setup.influx) {
        publishers_.push_back(std::make_unique<InfluxPublisher>(*setup.influx, *spool_));
    }
    for (const std::string& warning : setup.warnings) {
        say(warning);
    }
    for (const auto& publisher : publishers_) {
        publisher->onNotice = [this](const std::string& text) { say(text); };
        publisher->onStateChanged = [this] {
            if (onStateChanged) {
                onStateChanged();
            }
        };
        publisher->start();
    }
    if (spool_) {
        noticeTimer_.start();
    }
    if (!listening_) {
        engine_.addListener(this);
        listening_ = true;
    }
    return true;
}

void EnginePublishing::finish(int ms) {
    if (listening_) {
        engine_.removeListener(this);
        listening_ = false;
    }
    for (const auto& publisher : publishers_) {
        publisher->finish(ms);
    }
    publishers_.clear();
    noticeTimer_.stop();
    spool_.reset();
    metrics_.reset();
}

PublishedItem EnginePublishing::nextItem(PublishedItem::Kind kind, int64_t timeNs) {
    PublishedItem item;
    item.kind = kind;
    item.meter = meter_;
    item.sequence = ++sequence_;
    item.run = run_;
    // No two items of a meter share a time: a tie (a clock stepped back,
    // two readings in one nanosecond) moves on by one.
    item.timeNs = std::max(timeNs, lastTimeNs_ + 1);
    lastTimeNs_ = item.timeNs;
    item.seconds = static_cast<double>(started_.nsecsElapsed()) / 1e9;
    return item;
}

void EnginePublishing::reading(const Reading& r) {
    publish(r);
}

void EnginePublishing::publish(const Reading& r) {
    // The time and status the recording gives the same reading.
    const timespec at = r.spreadBack ? WallClockBefore(r.arrivedAt, *r.spreadBack) : r.arrivedAt;
    PublishedItem item = nextItem(PublishedItem::Kind::Reading, Nanoseconds(at));
    item.status = ReadingStatus(r.value, r.spreadBack.has_value());
    if (item.status != std::string_view("overload")) {
        item.value = static_cast<double>(r.value);
    }
    // A measure query's reply before its function is named has no unit yet.
    item.unit = r.functionPending ? std::string() : r.unit;
    item.function = r.function;
    if (mathOfReading) {
        if (const std::optional<RecordingMath> math = mathOfReading()) {
            item.math = math->value;
            item.mathUnit = math->unit;
            item.limit = math->limit;
        }
    }
    put(item);
    if (metrics_) {
        metrics_->state().linkState(meter_, true);
        metrics_->state().reading(item, std::chrono::steady_clock::now());
    }
}

void EnginePublishing::event(const std::string& text) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    PublishedItem item = nextItem(PublishedItem::Kind::Event, Nanoseconds(now));
    item.event = text;
    put(item);
}

void EnginePublishing::put(const PublishedItem& item) {
    if (!spool_) {
        return;
    }
    spool_->append(SpoolRecord(item));
    for (const auto& publisher : publishers_) {
        publisher->itemsWaiting();
    }
}

void EnginePublishing::alarmsChanged() {
    if (metrics_ && alarmsRaised) {
        metrics_->state().alarmsRaised(meter_, alarmsRaised());
    }
}

void EnginePublishing::functionNamed(const std::string& function, const std::string& unit,
                                     bool unitChanged) {
    if (unitChanged || function != function_) {
        event("function " + unit);
    }
    function_ = function;
}

void EnginePublishing::portLost() {
    linkState(false);
    event("port lost");
}

void EnginePublishing::reconnected() {
    linkState(true);
    event("reconnected");
}

void EnginePublishing::meterSilent(const std::string& query) {
    linkState(false);
    event("the meter does not answer (no reply to " + query + ")");
}

void EnginePublishing::stopped() {
    linkState(false);
    event("stopped");
}

void EnginePublishing::linkState(bool up) {
    if (metrics_) {
        metrics_->state().linkState(meter_, up);
    }
}

void EnginePublishing::say(const std::string& text) {
    if (onNotice) {
        onNotice(text);
    }
}

std::string EnginePublishing::statusLine(bool detail) const {
    std::string line;
    for (const auto& publisher : publishers_) {
        line += (line.empty() ? "" : " · ") +
                DescribePublisher(publisher->name(), publisher->state(), detail);
    }
    if (metrics_) {
        line += (line.empty() ? "" : " · ") + std::string("metrics on port ") +
                std::to_string(metrics_->port());
    }
    return line;
}

bool EnginePublishing::troubled() const {
    for (const auto& publisher : publishers_) {
        if (Troubled(publisher->state())) {
            return true;
        }
    }
    return false;
}

quint16 EnginePublishing::metricsPort() const {
    return metrics_ ? metrics_->port() : 0;
}

const std::string& EnginePublishing::spoolFolder() const {
    static const std::string none;
    return spool_ ? spool_->folder() : none;
}

} // namespace velmora
