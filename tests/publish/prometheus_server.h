// Debian's Prometheus as a child process for tests: scraping one target on loopback every
// second, asked over its HTTP API, stopped (and its log shown on failure) when the test ends.
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

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace velmora::test {

inline constexpr const char* kPrometheusProgram = "/usr/bin/prometheus";

class PrometheusServer {
public:
    PrometheusServer()
        : process_("prometheus") {}

    static bool Installed() { return ServerProcess::Installed(kPrometheusProgram); }

    // Starts it scraping 127.0.0.1:`target`/metrics every second; false
    // (with a test failure) when it does not come to listen.
    bool start(quint16 target) {
        port_ = FreeLoopbackPort();
        WriteBytes(folder_ / "prometheus.yml", "global:\n"
                                               "  scrape_interval: 1s\n"
                                               "  scrape_timeout: 1s\n"
                                               "scrape_configs:\n"
                                               "  - job_name: velmora\n"
                                               "    metrics_path: /metrics\n"
                                               "    static_configs:\n"
                                               "      - targets: ['127.0.0.1:" +
                                                   std::to_string(target) + "']\n");
        return port_ != 0 &&
               process_.start({kPrometheusProgram, "--config.file=" + folder_ / "prometheus.yml",
                               "--storage.tsdb.path=" + folder_ / "data",
                               "--web.listen-address=127.0.0.1:" + std::to_string(port_)},
                              folder_.path(), port_);
    }
    bool running() { return process_.running(); }

    // GET of `path` with `query` on its HTTP API, the event loop running
    // meanwhile (so a server in this process answers its scrapes); the body
    // when it answered 200 within 5 s.
    std::optional<QByteArray> get(const QString& path, const QUrlQuery& query = {}) {
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(QStringLiteral("127.0.0.1"));
        url.setPort(port_);
        url.setPath(path);
        url.setQuery(query);
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy); // loopback, whatever the environment says
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
        const bool done =
            WaitForEvents([&] { return reply->isFinished(); }, std::chrono::seconds(5));
        if (!done || reply->error() != QNetworkReply::NoError) {
            reply->abort();
            return std::nullopt;
        }
        return reply->readAll();
    }

    // The result vector of an instant query, or nothing when it was not
    // answered (not started yet, or an error).
    std::optional<QJsonArray> query(const QString& promql) {
        QUrlQuery parameters;
        parameters.addQueryItem(QStringLiteral("query"), promql);
        const std::optional<QByteArray> body = get(QStringLiteral("/api/v1/query"), parameters);
        if (!body) {
            return std::nullopt;
        }
        const QJsonObject answer = QJsonDocument::fromJson(*body).object();
        if (answer.value(QStringLiteral("status")).toString() != QStringLiteral("success")) {
            return std::nullopt;
        }
        return answer.value(QStringLiteral("data"))
            .toObject()
            .value(QStringLiteral("result"))
            .toArray();
    }

private:
    TempFolder folder_;
    ServerProcess process_; // declared after the folder: stopped before it goes
    quint16 port_ = 0;
};

} // namespace velmora::test
