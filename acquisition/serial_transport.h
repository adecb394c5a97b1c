// The serial port as a meter transport: the serial component and the watcher of its return.
#pragma once

#include "acquisition/meter_transport.h"

namespace velmora {

class PortReturnWatcher;
class TComm;

// Borrows both: the window shows and configures the same component, and
// the tests reach the watcher through the window.
class SerialTransport : public MeterTransport {
public:
    SerialTransport(TComm& comm, PortReturnWatcher& watcher)
        : comm_(comm)
        , watcher_(watcher) {}

    bool isOpen() const override;
    void open() override;
    void close() override;
    bool send(std::string_view bytes) override;
    void setEndReadAtLineFeed(bool on) override;
    void watchForReturn(std::function<void()> present) override;
    void stopWatching() override;
    bool retryAfterOpenError(const std::exception& error) override;

private:
    TComm& comm_;
    PortReturnWatcher& watcher_;
};

} // namespace velmora
