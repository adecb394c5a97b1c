// A GPIB instrument behind a "++" adapter (on a USB serial device or a TCP port), as a transport.
#pragma once

#include "acquisition/meter_transport.h"
#include "transports/stream_line.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace velmora {

// The adapter is the bus controller; lines beginning "++" are its own, any
// other line goes to the addressed instrument. Opening sets it up (controller
// mode, the address, EOI on the last byte, a line feed appended, no reading
// by itself) and asks its version once: an adapter that does not answer is
// "adapter silent". A query is followed by "++read eoi", so the instrument
// is read until it ends its answer; after a reply time-out "++clr" clears
// the instrument. NUL bytes, which some adapters put before an answer, are
// dropped. Main thread only.
class GpibAdapterTransport : public MeterTransport {
public:
    GpibAdapterTransport(std::unique_ptr<StreamLine> link, int address, std::string where);

    // Wired by the host to the engine's receive() and lineLost().
    std::function<void(const char* bytes, size_t length)> onReceive;
    std::function<void()> onLost;

    void setVersionTimeout(std::chrono::milliseconds timeout) { versionTimeout_ = timeout; }
    // The adapter's answer to "++ver" on the latest opening (blanks trimmed).
    const std::string& version() const { return version_; }
    int address() const { return address_; }
    StreamLine& link() { return *link_; }

    bool isOpen() const override { return link_->isOpen(); }
    // Throws TransportError: the link's own reasons, or "adapter silent".
    void open() override;
    void close() override { link_->close(); }
    bool send(std::string_view bytes) override;
    void setEndReadAtLineFeed(bool) override {}
    void watchForReturn(std::function<void()> present) override {
        link_->watchForReturn(std::move(present));
    }
    void stopWatching() override { link_->stopWatching(); }
    bool retryAfterOpenError(const std::exception& error) override {
        return link_->retryAfterOpenError(error);
    }
    void clearAfterTimeout() override;

    // A command line for the instrument as the adapter must get it: '+',
    // ESC, CR and LF inside it escaped, the terminator replaced by one LF.
    static std::string Escaped(std::string_view command);
    // Whether the instrument answers `command` (a header ending in '?').
    static bool IsQuery(std::string_view command);

private:
    void received(const char* bytes, size_t length);

    std::unique_ptr<StreamLine> link_;
    int address_;
    std::string where_;
    std::string version_;
    std::chrono::milliseconds versionTimeout_{1500};
};

} // namespace velmora
