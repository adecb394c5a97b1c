// Items from the spool to InfluxDB 1.x.
#include "publish/influx_publisher.h"

#include "publish/publish_text.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

#include <charconv>

namespace velmora {
namespace {

QUrl Endpoint(const InfluxSettings& settings, const char* path) {
    QUrl url;
    url.setScheme(QString::fromStdString(settings.server.scheme));
    url.setHost(QString::fromStdString(settings.server.host));
    url.setPort(settings.server.port);
    url.setPath(QString::fromLatin1(path));
    return url;
}

QNetworkRequest Request(const InfluxSettings& settings, QUrl url, int timeoutMs) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain; charset=utf-8");
    request.setTransferTimeout(timeoutMs);
    if (settings.credentials) {
        const std::string pair = settings.credentials->user + ":" + settings.credentials->password;
        request.setRawHeader("Authorization",
                             "Basic " + QByteArray::fromStdString(pair).toBase64());
    }
    return request;
}

// "... dropped=3": the points a partial write left out.
uint64_t DroppedNamed(const std::string& body) {
    const size_t at = body.rfind("dropped=");
    uint64_t dropped = 0;
    if (at != std::string::npos) {
        const char* from = body.data() + at + 8;
        std::from_chars(from, body.data() + body.size(), dropped);
    }
    return dropped;
}

// The server's own words from {"error":"..."}, or its status line.
std::string ServerSaid(QNetworkReply* reply, const std::string& body) {
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    if (const QString error = json.value(QStringLiteral("error")).toString(); !error.isEmpty()) {
        return error.toStdString();
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 0) {
        return "HTTP " + std::to_string(status);
    }
    return reply->errorString().toStdString();
}

} // namespace

std::string InfluxSettings::database() const {
    if (!server.database.empty()) {
        return server.database;
    }
    return server.path.size() > 1 ? server.path.substr(1) : std::string("velmora");
}

InfluxPublisher::InfluxPublisher(InfluxSettings settings, ReadingSpool& spool, QObject* parent)
    : QObject(parent)
    , SpoolPublisher(spool)
    , settings_(std::move(settings))
    , network_(new QNetworkAccessManager(this)) {
    batchTimer_.setSingleShot(true);
    retryTimer_.setSingleShot(true);
    connect(&batchTimer_, &QTimer::timeout, this, [this] { send(); });
    connect(&retryTimer_, &QTimer::timeout, this, [this] { send(); });
    connect(network_, &QNetworkAccessManager::finished, this,
            [this](QNetworkReply* reply) { answered(reply); });
    sentUpTo_ = spool_.taken(consumer());
}

InfluxPublisher::~InfluxPublisher() {
    if (inFlight_) {
        inFlight_->abort();
    }
}

void InfluxPublisher::start() {
    itemsWaiting(); // a spool left by an earlier run goes first
}

void InfluxPublisher::itemsWaiting() {
    if (inFlight_ || retryTimer_.isActive() || spool_.last() <= sentUpTo_) {
        return;
    }
    if (spool_.last() - sentUpTo_ >= settings_.batchPoints) {
        send();
    } else if (!batchTimer_.isActive()) {
        batchTimer_.start(settings_.batchMs);
    }
}

void InfluxPublisher::send() {
    if (inFlight_) {
        return;
    }
    batchTimer_.stop();
    if (!split_.empty()) {
        batch_ = std::move(split_.back());
        split_.pop_back();
    } else {
        batch_.clear();
        for (const auto& [index, record] : spool_.after(sentUpTo_, settings_.batchPoints)) {
            const std::optional<PublishedItem> item = ParseSpoolRecord(record);
            // Events are for MQTT; the database holds the readings.
            batch_.emplace_back(index, item && item->kind == PublishedItem::Kind::Reading
                                           ? InfluxLine(settings_.measurement, *item)
                                           : std::string());
        }
        if (!batch_.empty()) {
            sentUpTo_ = batch_.back().first;
        }
    }
    std::string body;
    for (const auto& [index, line] : batch_) {
        if (!line.empty()) {
            body += line;
            body += '\n';
        }
    }
    if (batch_.empty()) {
        return;
    }
    if (body.empty()) {
        taken(batch_.back().first);
        return;
    }
    QUrl url = Endpoint(settings_, "/write");
    QUrlQuery query;
    query.addQueryItem("db", QString::fromStdString(settings_.database()));
    query.addQueryItem("precision", "ns");
    url.setQuery(query);
    inFlight_ = network_->post(Request(settings_, url, settings_.answerTimeoutMs),
                               QByteArray::fromStdString(body));
}

void InfluxPublisher::answered(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != inFlight_) {
        return;
    }
    inFlight_ = nullptr;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::string body = reply->isOpen() ? reply->readAll().toStdString() : std::string();
    if (status == 204 || status == 200) {
        setLink(PublisherState::Link::Up, {});
        taken(batch_.back().first);
        return;
    }
    const std::string said = ServerSaid(reply, body);
    if (status == 400 && said.find("partial write") != std::string::npos) {
        // The server wrote the rest: the batch is done.
        setLink(PublisherState::Link::Up, {});
        refusedByServer_ += DroppedNamed(said);
        say("InfluxDB dropped points: " + said);
        taken(batch_.back().first);
        return;
    }
    if (status == 400) {
        if (batch_.size() == 1) {
            ++refusedByServer_;
            ++refused_;
            if (!refusedSaid_) {
                refusedSaid_ = true;
                say("InfluxDB refused a point, which is dropped (" + said + ")");
            }
            taken(batch_.back().first);
            return;
        }
        // Halves, the first sent first, until the refused point stands alone.
        const auto middle = batch_.begin() + static_cast<ptrdiff_t>(batch_.size() / 2);
        split_.emplace_back(middle, batch_.end());
        split_.emplace_back(batch_.begin(), middle);
        batch_.clear();
        send();
        return;
    }
    if (status == 404 && said.find("database not found") != std::string::npos) {
        retryLater("InfluxDB has no database \"" + settings_.database() +
                   "\" (make it with CREATE DATABASE)");
    } else if (status == 401 || status == 403) {
        setLink(PublisherState::Link::Refused, "InfluxDB refused the user name or password");
        retryLater("InfluxDB refused the user name or password");
    } else {
        retryLater("InfluxDB: " + said);
    }
}

void InfluxPublisher::taken(uint64_t index) {
    // Pieces of a split batch go in order, so the index only grows.
    spool_.markTaken(consumer(), index);
    batch_.clear();
    if (onStateChanged) {
        onStateChanged();
    }
    if (!split_.empty() || spool_.last() - sentUpTo_ >= settings_.batchPoints) {
        send();
    } else {
        itemsWaiting();
    }
}

void InfluxPublisher::retryLater(std::string why) {
    // The batch stays what it was: the same points go again, in order.
    split_.push_back(std::move(batch_));
    batch_.clear();
    if (link_ != PublisherState::Link::Refused) {
        setLink(PublisherState::Link::Down, why);
    } else {
        detail_ = why;
    }
    say(why + "; retrying every second");
    retryTimer_.start(1000);
}

void InfluxPublisher::finish(int ms) {
    QElapsedTimer waited;
    waited.start();
    QEventLoop loop;
    while (waited.elapsed() < ms && link_ == PublisherState::Link::Up &&
           (inFlight_ || spool_.taken(consumer()) < spool_.last())) {
        if (!inFlight_) {
            send();
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    batchTimer_.stop();
    retryTimer_.stop();
}

std::string InfluxPublisher::Try(const InfluxSettings& settings, int timeoutMs) {
    QNetworkAccessManager network;
    QUrl url = Endpoint(settings, "/query");
    QUrlQuery query;
    query.addQueryItem("q", "SHOW DATABASES");
    url.setQuery(query);
    QNetworkReply* reply = network.get(Request(settings, url, timeoutMs));
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const std::string body = reply->readAll().toStdString();
    std::string said;
    if (status == 200) {
        const std::string name = "[\"" + settings.database() + "\"]";
        said = body.find(name) != std::string::npos
                   ? "connected; the database \"" + settings.database() + "\" is there"
                   : "connected, but there is no database \"" + settings.database() + "\"";
    } else {
        said = ServerSaid(reply, body);
    }
    delete reply;
    return said;
}

} // namespace velmora
