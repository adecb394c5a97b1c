// A publisher's server as the user gives it: a URL, and the user name and password from a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

struct ServerUrl {
    std::string scheme; // lower case: "mqtt", "mqtts", "http", "https"
    std::string host;
    int port = 0;
    std::string path;     // "/lab" (the database for InfluxDB), "" when none
    std::string database; // "?db=" when given
};

struct UrlScheme {
    std::string_view name;
    int defaultPort;
};

// The servers' schemes and their default ports.
inline const std::vector<UrlScheme> kMqttSchemes = {{"mqtt", 1883}, {"mqtts", 8883}};
inline const std::vector<UrlScheme> kInfluxSchemes = {{"http", 8086}, {"https", 8086}};

// "mqtt://127.0.0.1:1884"; nothing, and `error` says why, for another
// scheme, no host, a bad port, or a user name or password in the URL (they
// would show in process listings and shell histories: a file holds them).
std::optional<ServerUrl> ParseServerUrl(std::string_view text,
                                        const std::vector<UrlScheme>& schemes, std::string* error);

struct Credentials {
    std::string user;
    std::string password;
};

// The file's first line is the user name, its second the password (line
// ends and a trailing CR dropped, nothing else trimmed). `warning` is set
// when others may read the file.
std::optional<Credentials> ReadCredentialsFile(const std::string& path, std::string* error,
                                               std::string* warning = nullptr);

} // namespace velmora
