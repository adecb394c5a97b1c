// A byte stream to a meter or an adapter, as a meter transport: framing by line, loss and return.
#pragma once

#include "acquisition/meter_transport.h"

#include <QObject>
#include <QTimer>

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QSocketNotifier;

namespace velmora {

// Non-blocking, on the main thread's event loop. Replies are handed over a
// line at a time (up to and including the line feed), however the stream
// splits or joins them, so the engine sees what a serial chunk would give
// it; a line longer than 2048 bytes comes in pieces of that size. The far
// end going away is a lost line; its return is looked for every half
// second. What the descriptor is (a socket, a terminal) is the subclass's.
class StreamLine : public QObject, public MeterTransport {
public:
    explicit StreamLine(QObject* parent = nullptr);
    ~StreamLine() override;

    // Wired by the host to the engine's receive() and lineLost().
    std::function<void(const char* bytes, size_t length)> onReceive;
    std::function<void()> onLost;

    void setReturnPoll(std::chrono::milliseconds interval) { returnPoll_.setInterval(interval); }

    bool isOpen() const override { return fd_ >= 0; }
    // Throws TransportError.
    void open() override;
    void close() override;
    bool send(std::string_view bytes) override;
    void setEndReadAtLineFeed(bool) override {} // always framed by the line feed
    void watchForReturn(std::function<void()> present) override;
    void stopWatching() override;
    bool retryAfterOpenError(const std::exception& error) override;

    // While opening, before the event loop hands anything over: the next
    // whole line, waiting at most `timeout` (an adapter's greeting).
    std::optional<std::string> awaitLine(std::chrono::milliseconds timeout);

    static constexpr size_t kLongestPiece = 2048;

protected:
    // A connected, non-blocking descriptor; throws TransportError.
    virtual int openDescriptor() = 0;
    // Writes what it can; -1 with errno as write(2) sets it.
    virtual ssize_t writeSome(int fd, const char* bytes, size_t length);

private:
    bool readAvailable(); // false when the far end is gone
    void readable();
    void writable();
    void deliverLines();
    void lost();

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::string incoming_;
    std::string outgoing_;
    QTimer returnPoll_;
    std::function<void()> present_;
};

} // namespace velmora
