// The line to a meter as the acquisition engine sees it: bytes out, chunks in, lost and back.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

// What the engine needs of a connection to a meter, whatever carries it
// (a serial port today). Chunks and the loss of the line reach the engine
// through its own entry points; the host wires them, so that it can look at
// them first. Main thread only.
class MeterTransport {
public:
    virtual ~MeterTransport() = default;

    virtual bool isOpen() const = 0;
    // Throws the transport's own error when the line cannot be had.
    virtual void open() = 0;
    virtual void close() = 0;
    // False when the bytes were refused (not open, queue full).
    virtual bool send(std::string_view bytes) = 0;
    // Whether a chunk may end at a line feed instead of the quiet interval.
    virtual void setEndReadAtLineFeed(bool on) = 0;

    // Watching for a lost line to return: `present` runs whenever it may be
    // back; a failed open is then offered to `retryAfterOpenError`, which
    // says whether to look again later.
    virtual void watchForReturn(std::function<void()> present) = 0;
    virtual void stopWatching() = 0;
    virtual bool retryAfterOpenError(const std::exception& error) = 0;

    // Added to the reply time-out of the first query after opening: some
    // meters take seconds over their first answer on a new connection.
    virtual int firstReplyAllowanceMs() const { return 0; }
    // After a reply time-out, before the engine resynchronises: a GPIB
    // adapter clears the instrument; a plain line has nothing to do.
    virtual void clearAfterTimeout() {}
};

} // namespace velmora
