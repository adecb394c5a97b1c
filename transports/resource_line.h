// The line a resource name asks for, behind one transport: the serial port, a raw socket or a
// GPIB adapter.
#pragma once

#include "acquisition/acquisition_engine.h"
#include "acquisition/meter_transport.h"
#include "acquisition/serial_transport.h"
#include "transports/gpib_adapter_transport.h"
#include "transports/resource_name.h"
#include "transports/socket_transport.h"

#include <functional>
#include <memory>
#include <string>

namespace velmora {

// One engine for a host's whole run, whatever the user chooses: calls go to
// the serial transport (the host's own component) or to a line made for the
// resource (a socket, an adapter). Main thread only.
class ResourceLine : public MeterTransport {
public:
    ResourceLine(TComm& comm, PortReturnWatcher& watcher)
        : serial_(comm, watcher) {}

    // What a line of its own hands over and its loss (the host wires them to
    // the engine, as it wires the serial component's events).
    std::function<void(const char* bytes, size_t length)> onReceive;
    std::function<void()> onLost;

    // Chooses the line for `resource`; a line of its own in use so far is
    // closed first. A serial resource uses the component as its owner set it up.
    void use(const Resource& resource);
    const Resource& resource() const { return resource_; }
    // A socket or an adapter: the meter says who it is, and the serial
    // port's settings do not apply.
    bool ownsLine() const { return resource_.kind != ResourceKind::Serial; }
    SocketTransport* socket() const { return socket_; }
    GpibAdapterTransport* adapter() const { return adapter_; }

    bool isOpen() const override { return current().isOpen(); }
    // Throws the line's own error; a resource that cannot be one, why.
    void open() override;
    void close() override { current().close(); }
    bool send(std::string_view bytes) override { return current().send(bytes); }
    void setEndReadAtLineFeed(bool on) override { current().setEndReadAtLineFeed(on); }
    void watchForReturn(std::function<void()> present) override {
        current().watchForReturn(std::move(present));
    }
    void stopWatching() override { current().stopWatching(); }
    bool retryAfterOpenError(const std::exception& error) override {
        return current().retryAfterOpenError(error);
    }
    int firstReplyAllowanceMs() const override { return current().firstReplyAllowanceMs(); }
    void clearAfterTimeout() override { current().clearAfterTimeout(); }

private:
    MeterTransport& current() { return own_ ? *own_ : static_cast<MeterTransport&>(serial_); }
    const MeterTransport& current() const {
        return own_ ? *own_ : static_cast<const MeterTransport&>(serial_);
    }
    template <typename Line>
    void wire(Line& line);

    SerialTransport serial_;
    std::unique_ptr<MeterTransport> own_;
    SocketTransport* socket_ = nullptr;       // own_, when it is a socket
    GpibAdapterTransport* adapter_ = nullptr; // own_, when it is an adapter
    Resource resource_;
};

// Sets the engine up for the meter `resource` leads to: on a serial port the
// profile is `chosen` (the 34401A class when null) and nothing is asked; on
// a line of its own the meter is asked "*IDN?" on every connection, and its
// answer picks the profile unless one was chosen.
void PrepareEngineFor(const Resource& resource, AcquisitionEngine& engine,
                      const MeterProfile* chosen);

} // namespace velmora
