// Debian's InfluxDB 1.x for tests: `influxd run` with its meta, data and wal folders in a
// temporary folder and its HTTP and RPC binds on free loopback ports, asked back over HTTP.
#pragma once

#include "tests/publish/server_process.h"
#include "tests/support/event_wait.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

#include <memory>
#include <optional>
#include <string>

namespace velmora::test {

inline constexpr const char* kInfluxProgram = "/usr/bin/influxd";

class InfluxServer {
public:
    InfluxServer()
        : process_("influxd") {}
    static bool Installed() { return ServerProcess::Installed(kInfluxProgram); }

    bool start() {
        port_ = FreeLoopbackPort();
        const quint16 rpc = FreeLoopbackPort();
        WriteBytes(folder_ / "influxdb.conf", "reporting-disabled = true\n"
                                              "bind-address = \"127.0.0.1:" +
                                                  std::to_string(rpc) +
                                                  "\"\n"
                                                  "[meta]\n  dir = \"" +
                                                  folder_ / "meta" +
                                                  "\"\n"
                                                  "[data]\n  dir = \"" +
                                                  folder_ / "data" +
                                                  "\"\n"
                                                  "  wal-dir = \"" +
                                                  folder_ / "wal" +
                                                  "\"\n"
                                                  "  query-log-enabled = false\n"
                                                  "[http]\n  bind-address = \"127.0.0.1:" +
                                                  std::to_string(port_) +
                                                  "\"\n"
                                                  "  log-enabled = false\n"
                                                  "[monitor]\n  store-enabled = false\n"
                                                  "[continuous_queries]\n  enabled = false\n"
                                                  "[subscriber]\n  enabled = false\n");
        return restart();
    }
    bool restart() {
        return process_.start({kInfluxProgram, "run", "-config", folder_ / "influxdb.conf"},
                              folder_.path(), port_);
    }
    void stop() { process_.stop(); }

    quint16 port() const { return port_; }
    std::string url(const std::string& database) const {
        return "http://127.0.0.1:" + std::to_string(port_) + "/" + database;
    }

    // A statement through /query; the body when it answered 200.
    std::optional<QByteArray> query(const QString& statement, const QString& database = {},
                                    bool post = false) {
        QUrlQuery parameters;
        parameters.addQueryItem(QStringLiteral("q"), statement);
        if (!database.isEmpty()) {
            parameters.addQueryItem(QStringLiteral("db"), database);
        }
        parameters.addQueryItem(QStringLiteral("epoch"), QStringLiteral("ns"));
        return request(QStringLiteral("/query"), parameters,
                       post ? std::optional<QByteArray>(QByteArray()) : std::nullopt);
    }
    bool createDatabase(const QString& name) {
        return query(QStringLiteral("CREATE DATABASE \"%1\"").arg(name), {}, true).has_value();
    }
    // Raw lines to /write, as another program might.
    std::optional<QByteArray> write(const QString& database, const QByteArray& lines) {
        QUrlQuery parameters;
        parameters.addQueryItem(QStringLiteral("db"), database);
        return request(QStringLiteral("/write"), parameters, lines);
    }
    // The rows of `SELECT ... ` as [time, columns...] arrays, with the column names.
    QJsonArray rows(const QString& statement, const QString& database,
                    QJsonArray* columns = nullptr) {
        const std::optional<QByteArray> body = query(statement, database);
        if (!body) {
            return {};
        }
        const QJsonObject series = QJsonDocument::fromJson(*body)
                                       .object()[QStringLiteral("results")]
                                       .toArray()
                                       .at(0)
                                       .toObject()[QStringLiteral("series")]
                                       .toArray()
                                       .at(0)
                                       .toObject();
        if (columns) {
            *columns = series[QStringLiteral("columns")].toArray();
        }
        return series[QStringLiteral("values")].toArray();
    }
    // The HTTP service's count of points written, resends included.
    int64_t pointsWrittenOK() {
        const std::optional<QByteArray> body =
            request(QStringLiteral("/debug/vars"), {}, std::nullopt);
        if (!body) {
            return -1;
        }
        const QJsonObject vars = QJsonDocument::fromJson(*body).object();
        for (auto it = vars.begin(); it != vars.end(); ++it) {
            const QJsonObject entry = it.value().toObject();
            if (entry[QStringLiteral("name")].toString() == QStringLiteral("httpd")) {
                return entry[QStringLiteral("values")]
                    .toObject()[QStringLiteral("pointsWrittenOK")]
                    .toInteger();
            }
        }
        return -1;
    }

private:
    std::optional<QByteArray> request(const QString& path, const QUrlQuery& parameters,
                                      std::optional<QByteArray> body) {
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(QStringLiteral("127.0.0.1"));
        url.setPort(port_);
        url.setPath(path);
        url.setQuery(parameters);
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy);
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");
        std::unique_ptr<QNetworkReply> reply(body ? manager.post(request, *body)
                                                  : manager.get(request));
        const bool done =
            WaitForEvents([&] { return reply->isFinished(); }, std::chrono::seconds(5));
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (!done || (status != 200 && status != 204)) {
            reply->abort();
            return std::nullopt;
        }
        return reply->readAll();
    }

    TempFolder folder_;
    ServerProcess process_;
    quint16 port_ = 0;
};

} // namespace velmora::test
