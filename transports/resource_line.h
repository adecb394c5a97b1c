// The line a resource name asks for, behind one transport: the serial port or a raw socket.
#pragma once

#include "acquisition/meter_transport.h"
#include "acquisition/serial_transport.h"
#include "transports/resource_name.h"
#include "transports/socket_transport.h"

#include <functional>
#include <memory>
#include <string>

namespace velmora {

// One engine for the window's whole run, whatever the user chooses in COM
// SET: calls go to the serial transport (the window's own component) or to
// a socket made for the resource. Main thread only.
class ResourceLine : public MeterTransport {
public:
    ResourceLine(TComm& comm, PortReturnWatcher& watcher)
        : serial_(comm, watcher) {}

    // What a socket hands over and its loss (the host wires them to the
    // engine, as it wires the serial component's events).
    std::function<void(const char* bytes, size_t length)> onReceive;
    std::function<void()> onLost;

    // Chooses the line for `resource`; a socket in use so far is closed
    // first. A serial resource uses the component as its owner set it up.
    void use(const Resource& resource);
    const Resource& resource() const { return resource_; }
    bool onNetwork() const { return socket_ != nullptr; }
    SocketTransport* socket() const { return socket_.get(); }

    bool isOpen() const override { return current().isOpen(); }
    void open() override { current().open(); }
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
    MeterTransport& current() { return socket_ ? static_cast<MeterTransport&>(*socket_) : serial_; }
    const MeterTransport& current() const {
        return socket_ ? static_cast<const MeterTransport&>(*socket_) : serial_;
    }

    SerialTransport serial_;
    std::unique_ptr<SocketTransport> socket_;
    Resource resource_;
};

} // namespace velmora
