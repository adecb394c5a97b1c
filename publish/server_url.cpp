// A publisher's server as the user gives it.
#include "publish/server_url.h"

#include <QUrl>
#include <QUrlQuery>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace velmora {

std::optional<ServerUrl> ParseServerUrl(std::string_view text,
                                        const std::vector<UrlScheme>& schemes, std::string* error) {
    const auto refuse = [&](const std::string& why) -> std::optional<ServerUrl> {
        if (error) {
            *error = why;
        }
        return std::nullopt;
    };
    const QString given = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QUrl url(given, QUrl::StrictMode);
    std::string names;
    for (const UrlScheme& s : schemes) {
        names += (names.empty() ? "" : ", ") + std::string(s.name) + "://";
    }
    const std::string notOne = "\"" + std::string(text) + "\" is not a " + names + " URL";
    if (!url.isValid() || url.host().isEmpty()) {
        return refuse(notOne);
    }
    if (!url.userName().isEmpty() || !url.password().isEmpty()) {
        return refuse("the URL holds a user name or password; give them in a password file");
    }
    ServerUrl server;
    server.scheme = url.scheme().toLower().toStdString();
    const UrlScheme* scheme = nullptr;
    for (const UrlScheme& s : schemes) {
        if (server.scheme == s.name) {
            scheme = &s;
        }
    }
    if (!scheme) {
        return refuse(notOne);
    }
    server.host = url.host().toStdString();
    server.port = url.port(scheme->defaultPort);
    if (server.port <= 0 || server.port > 65535) {
        return refuse("no port in \"" + std::string(text) + "\"");
    }
    server.path = url.path().toStdString();
    if (server.path == "/") {
        server.path.clear();
    }
    server.database = QUrlQuery(url).queryItemValue("db", QUrl::FullyDecoded).toStdString();
    return server;
}

std::optional<Credentials> ReadCredentialsFile(const std::string& path, std::string* error,
                                               std::string* warning) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error) {
            *error = "cannot read " + path + ": " + std::strerror(errno);
        }
        return std::nullopt;
    }
    Credentials credentials;
    std::getline(file, credentials.user);
    std::getline(file, credentials.password);
    for (std::string* line : {&credentials.user, &credentials.password}) {
        if (!line->empty() && line->back() == '\r') {
            line->pop_back();
        }
    }
    if (credentials.user.empty()) {
        if (error) {
            *error = path + " holds no user name (its first line; the password on the second)";
        }
        return std::nullopt;
    }
    struct stat info {};
    if (warning && stat(path.c_str(), &info) == 0 && (info.st_mode & 0077) != 0) {
        *warning = path + " may be read by others (chmod 600 it)";
    }
    return credentials;
}

} // namespace velmora
