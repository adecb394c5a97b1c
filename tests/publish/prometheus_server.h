// Debian's Prometheus as a child process for tests: scraping one target on loopback every
// second, asked over its HTTP API, stopped (and its log shown on failure) when the test ends.
#pragma once

#include "tests/publish/server_process.h"
#include "tests/support/event_wait.h"

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

    // The result vector of an instant query, the event loop running while it
    // is asked (so a server in this process answers the scrapes); nothing
    // when it was not answered within 5 s (not up yet) or was an error.
    std::optional<QJsonArray> query(const QString& promql) {
        QUrl url(QStringLiteral("http://127.0.0.1:%1/api/v1/query").arg(port_));
        url.setQuery(QUrlQuery({{QStringLiteral("query"), promql}}));
        QNetworkAccessManager manager;
        manager.setProxy(QNetworkProxy::NoProxy); // loopback, whatever the environment says
        std::unique_ptr<QNetworkReply> reply(manager.get(QNetworkRequest(url)));
        if (!WaitForEvents([&] { return reply->isFinished(); }, std::chrono::seconds(5)) ||
            reply->error() != QNetworkReply::NoError) {
            reply->abort();
            return std::nullopt;
        }
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        if (answer.value(QStringLiteral("status")) != QStringLiteral("success")) {
            return std::nullopt;
        }
        return answer[QStringLiteral("data")][QStringLiteral("result")].toArray();
    }

private:
    TempFolder folder_;
    ServerProcess process_; // declared after the folder: stopped before it goes
    quint16 port_ = 0;
};

} // namespace velmora::test
