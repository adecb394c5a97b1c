// What the publishing hub asks of each server's publisher that takes items from the spool.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace velmora {

struct PublisherState {
    enum class Link { Connecting, Up, Down, Refused };
    Link link = Link::Connecting;
    uint64_t waiting = 0; // items in the spool the server has not taken
    uint64_t dropped = 0; // given up: the spool full, or refused by the server
    std::string detail;   // what the server or the system said last
};

// "MQTT up", "InfluxDB down, 120 waiting (connection refused)": for the
// status bar and the logger's progress line; without the servers' own
// words when `detail` is false.
std::string DescribePublisher(const std::string& name, const PublisherState& state,
                              bool detail = true);
// Not up, or more than a few dozen items behind.
bool Troubled(const PublisherState& state);

class ReadingSpool;

// A server's publisher, taking the items from the spool under its own
// cursor; what all of them keep of their link and say to the user is here.
class SpoolPublisher {
public:
    explicit SpoolPublisher(ReadingSpool& spool)
        : spool_(spool) {}
    virtual ~SpoolPublisher() = default;
    virtual std::string name() const = 0; // "MQTT", "InfluxDB"
    // Its cursor's name in the spool: "mqtt", "influx".
    virtual std::string consumer() const = 0;
    virtual void start() = 0;
    // New items are in the spool.
    virtual void itemsWaiting() = 0;
    // The last items out before the program ends, waiting at most `ms`.
    virtual void finish(int ms) = 0;
    PublisherState state() const;

    // Said once per trouble, for the user; the state changed.
    std::function<void(const std::string&)> onNotice;
    std::function<void()> onStateChanged;

protected:
    void setLink(PublisherState::Link link, std::string detail);
    // A server tried again every second says the same each time: said once,
    // until the link is up again (setLink to Up).
    void say(const std::string& text);

    ReadingSpool& spool_;
    PublisherState::Link link_ = PublisherState::Link::Connecting;
    std::string detail_;
    uint64_t refusedByServer_ = 0; // points the server named as dropped, or refused alone

private:
    std::string lastSaid_;
};

} // namespace velmora
