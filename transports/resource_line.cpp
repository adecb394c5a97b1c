// The line a resource name asks for.
#include "transports/resource_line.h"

namespace velmora {

void ResourceLine::use(const Resource& resource) {
    // A socket is this line's own; the serial component is its owner's, who
    // opens and closes it as before.
    if (socket_) {
        socket_->stopWatching();
        socket_->close();
        socket_.reset();
    }
    resource_ = resource;
    if (resource.kind == ResourceKind::Socket) {
        socket_ = std::make_unique<SocketTransport>(resource.host, resource.port);
        socket_->onReceive = [this](const char* bytes, size_t length) {
            if (onReceive) {
                onReceive(bytes, length);
            }
        };
        socket_->onLost = [this] {
            if (onLost) {
                onLost();
            }
        };
    }
}

} // namespace velmora
