// Items from the spool to an MQTT broker.
#include "publish/mqtt_publisher.h"

#include "publish/publish_text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace velmora {
namespace {

constexpr std::string_view kOnline = "online";
constexpr std::string_view kOffline = "offline";

void InitialiseLibrary() {
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
}

std::string ClientId(const MqttSettings& settings, const std::string& meter) {
    return settings.clientId.empty() ? "velmora-" + MqttTopicLevel(meter) : settings.clientId;
}

// What every client of ours is given before it connects; empty, or why not.
std::string Configure(mosquitto* client, const MqttSettings& settings) {
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (settings.credentials &&
        mosquitto_username_pw_set(client, settings.credentials->user.c_str(),
                                  settings.credentials->password.c_str()) != MOSQ_ERR_SUCCESS) {
        return "the user name cannot be used";
    }
    if (settings.server.scheme == "mqtts") {
        const char* ca = settings.caFile.empty() ? nullptr : settings.caFile.c_str();
        const int rc = ca ? mosquitto_tls_set(client, ca, nullptr, nullptr, nullptr, nullptr)
                          : mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        if (rc != MOSQ_ERR_SUCCESS) {
            return std::string("TLS: ") + mosquitto_strerror(rc);
        }
    }
    return {};
}

std::string ConnectionRefused(int code) {
    return std::string("the broker refused the connection: ") + mosquitto_connack_string(code);
}

} // namespace

MqttPublisher::MqttPublisher(MqttSettings settings, std::string meter, ReadingSpool& spool,
                             QObject* parent)
    : QObject(parent)
    , SpoolPublisher(spool)
    , settings_(std::move(settings))
    , meter_(std::move(meter)) {
    InitialiseLibrary();
    sentUpTo_ = spool_.taken(consumer());
    housekeeping_.setInterval(1000);
    connect(&housekeeping_, &QTimer::timeout, this, [this] {
        if (!client_ || mosquitto_socket(client_) < 0) {
            connectNow(); // the broker away: tried again every second
        } else {
            serviced(mosquitto_loop_misc(client_));
        }
    });
}

MqttPublisher::~MqttPublisher() {
    if (!client_) {
        return;
    }
    dropSocket();
    mosquitto_disconnect(client_);
    mosquitto_destroy(client_);
}

void MqttPublisher::start() {
    housekeeping_.start();
    connectNow();
}

bool MqttPublisher::newClient() {
    // A new client for every connection: what the last one had in flight is
    // sent again from the spool, in order, not by the old client's queue,
    // which may send it in another order once the broker is back.
    dropSocket();
    if (client_) {
        mosquitto_destroy(client_);
    }
    client_ = mosquitto_new(ClientId(settings_, meter_).c_str(), true, this);
    if (!client_) {
        lost("cannot make an MQTT client");
        return false;
    }
    if (const std::string trouble = Configure(client_, settings_); !trouble.empty()) {
        housekeeping_.stop(); // nothing to try again: the settings must change
        setLink(PublisherState::Link::Refused, trouble);
        say("MQTT: " + trouble);
        return false;
    }
    mosquitto_max_inflight_messages_set(client_, static_cast<unsigned>(settings_.window));
    const std::string status = MqttTopic(settings_.statusTopic, meter_);
    mosquitto_will_set(client_, status.c_str(), static_cast<int>(kOffline.size()), kOffline.data(),
                       1, true);
    mosquitto_connect_callback_set(client_, [](mosquitto*, void* self, int code) {
        static_cast<MqttPublisher*>(self)->connected(code);
    });
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* self, int code) {
        static_cast<MqttPublisher*>(self)->disconnected(code);
    });
    mosquitto_publish_callback_set(client_, [](mosquitto*, void* self, int mid) {
        static_cast<MqttPublisher*>(self)->acknowledged(mid);
    });
    inFlight_.clear();
    unacknowledged_.clear();
    sentUpTo_ = spool_.taken(consumer());
    return true;
}

void MqttPublisher::connectNow() {
    if (lookingUp_) {
        return;
    }
    const QString host = QString::fromStdString(settings_.server.host);
    if (!QHostAddress(host).isNull()) {
        connectResolved();
        return;
    }
    // libmosquitto looks the name up with a blocking call on this thread,
    // the window's or the logger's: with the name server away that would
    // stop the program for seconds every second. Qt looks it up on a
    // thread of its own first, and only a name that resolved goes to the
    // client, whose own lookup the name server has then just answered.
    // The name, not an address, goes: a certificate is checked against it.
    lookingUp_ = true;
    QHostInfo::lookupHost(host, this, [this](const QHostInfo& info) {
        lookingUp_ = false;
        if (finishing_) {
            return;
        }
        if (info.error() != QHostInfo::NoError) {
            lost("cannot find " + settings_.server.host + ": " + info.errorString().toStdString());
            return;
        }
        connectResolved();
    });
}

void MqttPublisher::connectResolved() {
    if (!newClient()) {
        return;
    }
    const int rc = mosquitto_connect_async(client_, settings_.server.host.c_str(),
                                           settings_.server.port, settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS) {
        lost(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
        return;
    }
    watchSocket();
}

void MqttPublisher::watchSocket() {
    const int fd = mosquitto_socket(client_);
    if (fd < 0) {
        return;
    }
    reader_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(reader_, &QSocketNotifier::activated, this,
            [this] { serviced(mosquitto_loop_read(client_, 1)); });
    writer_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(writer_, &QSocketNotifier::activated, this,
            [this] { serviced(mosquitto_loop_write(client_, 1)); });
    writer_->setEnabled(true); // the connection completes, then CONNECT goes
}

void MqttPublisher::dropSocket() {
    // Notifiers of a closed descriptor go; never deleted inside their own signal.
    for (QSocketNotifier** notifier : {&reader_, &writer_}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
}

void MqttPublisher::serviced(int rc) {
    if (!client_) {
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(client_) < 0) {
        // The connection went (or never came): the socket is closed by the
        // client; the next try is the housekeeping's.
        if (mosquitto_socket(client_) >= 0) {
            mosquitto_disconnect(client_);
        }
        const bool refused = link_ == PublisherState::Link::Refused;
        dropSocket();
        up_ = false;
        if (!refused && !finishing_) {
            lost(rc == MOSQ_ERR_KEEPALIVE        ? "the broker stopped answering"
                 : rc == MOSQ_ERR_ERRNO && errno ? std::strerror(errno)
                 : rc == MOSQ_ERR_SUCCESS        ? "the connection was lost"
                                                 : mosquitto_strerror(rc));
        }
        return;
    }
    if (writer_) {
        writer_->setEnabled(mosquitto_want_write(client_));
    }
}

void MqttPublisher::lost(const std::string& why) {
    up_ = false;
    setLink(PublisherState::Link::Down, why);
    say("MQTT: " + why + "; retrying every second");
}

void MqttPublisher::connected(int code) {
    if (code != 0) {
        up_ = false;
        setLink(PublisherState::Link::Refused, ConnectionRefused(code));
        say("MQTT: " + ConnectionRefused(code));
        return;
    }
    up_ = true;
    const std::string status = MqttTopic(settings_.statusTopic, meter_);
    mosquitto_publish(client_, nullptr, status.c_str(), static_cast<int>(kOnline.size()),
                      kOnline.data(), 1, true);
    setLink(PublisherState::Link::Up, {});
    pump();
}

void MqttPublisher::disconnected(int /*code*/) {
    up_ = false;
}

void MqttPublisher::acknowledged(int mid) {
    if (mid == offlineMid_) {
        offlineAcknowledged_ = true;
    }
    const auto it = inFlight_.find(mid);
    if (it == inFlight_.end()) {
        return; // the status message
    }
    unacknowledged_[it->second] = true;
    inFlight_.erase(it);
    // The cursor moves over acknowledged items in order only: what was
    // sent before an unanswered one waits for it.
    uint64_t taken = 0;
    while (!unacknowledged_.empty() && unacknowledged_.begin()->second) {
        taken = unacknowledged_.begin()->first;
        unacknowledged_.erase(unacknowledged_.begin());
    }
    if (taken > 0) {
        spool_.markTaken(consumer(), taken);
        if (onStateChanged) {
            onStateChanged();
        }
    }
    // More goes once this read is done, not from inside the client's call:
    // one pump for all the acknowledgements of a read.
    if (!pumpPosted_) {
        pumpPosted_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                pumpPosted_ = false;
                pump();
            },
            Qt::QueuedConnection);
    }
}

void MqttPublisher::pump() {
    if (!up_ || !client_) {
        return;
    }
    sentUpTo_ = std::max(sentUpTo_, spool_.taken(consumer()));
    if (inFlight_.size() >= static_cast<size_t>(settings_.window)) {
        return;
    }
    const size_t room = static_cast<size_t>(settings_.window) - inFlight_.size();
    for (const auto& [index, record] : spool_.after(sentUpTo_, room)) {
        const std::optional<PublishedItem> item = ParseSpoolRecord(record);
        sentUpTo_ = index;
        if (!item) {
            unacknowledged_[index] = true; // nothing to send for it
            continue;
        }
        const bool event = item->kind == PublishedItem::Kind::Event;
        const std::string topic =
            MqttTopic(event ? settings_.eventTopic : settings_.readingTopic, meter_);
        const std::string payload = event ? EventJson(*item) : ReadingJson(*item);
        int mid = 0;
        const int rc =
            mosquitto_publish(client_, &mid, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), settings_.qos, false);
        if (rc != MOSQ_ERR_SUCCESS) {
            // Not taken by the client: sent again after the next connection.
            sentUpTo_ = index - 1;
            break;
        }
        unacknowledged_.emplace(index, false);
        inFlight_[mid] = index;
    }
    serviced(MOSQ_ERR_SUCCESS);
}

void MqttPublisher::finish(int ms) {
    if (!client_) {
        finishing_ = true; // a name lookup still under way connects no more
        housekeeping_.stop();
        return;
    }
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    // What is in flight gets its acknowledgement, if the broker is there.
    while (up_ && !inFlight_.empty() && waited.elapsed() < ms) {
        loop.processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    finishing_ = true;
    if (up_) {
        const std::string status = MqttTopic(settings_.statusTopic, meter_);
        mosquitto_publish(client_, &offlineMid_, status.c_str(), static_cast<int>(kOffline.size()),
                          kOffline.data(), 1, true);
        serviced(MOSQ_ERR_SUCCESS);
        while (up_ && !offlineAcknowledged_ && waited.elapsed() < ms + 500) {
            loop.processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
    }
    housekeeping_.stop();
    dropSocket();
    mosquitto_disconnect(client_);
    mosquitto_loop_write(client_, 1); // the DISCONNECT, so the broker keeps the will to itself
    mosquitto_destroy(client_);
    client_ = nullptr;
    up_ = false;
}

std::string MqttPublisher::Try(const MqttSettings& settings, int timeoutMs) {
    InitialiseLibrary();
    struct Outcome {
        bool answered = false;
        int code = 0;
    } outcome;
    mosquitto* client = mosquitto_new(nullptr, true, &outcome);
    if (!client) {
        return "cannot make an MQTT client";
    }
    std::string said = Configure(client, settings);
    if (said.empty()) {
        mosquitto_connect_callback_set(client, [](mosquitto*, void* o, int code) {
            static_cast<Outcome*>(o)->answered = true;
            static_cast<Outcome*>(o)->code = code;
        });
        // Not blocking: a host that takes the connection and never answers
        // is bounded by the timed loop below.
        const int rc = mosquitto_connect_async(client, settings.server.host.c_str(),
                                               settings.server.port, settings.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS) {
            said = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
        } else {
            QElapsedTimer waited;
            waited.start();
            int looped = MOSQ_ERR_SUCCESS;
            while (!outcome.answered && waited.elapsed() < timeoutMs &&
                   (looped = mosquitto_loop(client, 100, 1)) == MOSQ_ERR_SUCCESS) {
            }
            said = outcome.answered           ? (outcome.code != 0 ? ConnectionRefused(outcome.code)
                                                                   : std::string("connected"))
                   : looped == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno))
                   : looped != MOSQ_ERR_SUCCESS ? std::string(mosquitto_strerror(looped))
                                                : std::string("no answer from the broker");
            mosquitto_disconnect(client);
        }
    }
    mosquitto_destroy(client);
    return said;
}

} // namespace velmora
