// The line a resource name asks for.
#include "transports/resource_line.h"

#include "transports/device_line.h"
#include "transports/transport_error.h"

namespace velmora {

template <typename Line>
void ResourceLine::wire(Line& line) {
    line.onReceive = [this](const char* bytes, size_t length) {
        if (onReceive) {
            onReceive(bytes, length);
        }
    };
    line.onLost = [this] {
        if (onLost) {
            onLost();
        }
    };
}

void ResourceLine::use(const Resource& resource) {
    // A line of its own is this object's; the serial component is its
    // owner's, who opens and closes it as before.
    if (own_) {
        own_->stopWatching();
        own_->close();
        own_.reset();
    }
    socket_ = nullptr;
    adapter_ = nullptr;
    resource_ = resource;
    if (!resource.problem.empty()) {
        return; // nothing to open: open() says why
    }
    std::unique_ptr<StreamLine> link;
    std::string where;
    if (resource.kind == ResourceKind::Socket || resource.kind == ResourceKind::GpibOnSocket) {
        link = std::make_unique<SocketTransport>(resource.host, resource.port);
        where = resource.host + " port " + std::to_string(resource.port);
    } else if (resource.kind == ResourceKind::GpibOnSerial) {
        link = std::make_unique<DeviceLine>(resource.serialPort);
        where = resource.serialPort;
    }
    if (resource.kind == ResourceKind::Socket) {
        socket_ = static_cast<SocketTransport*>(link.get());
        wire(*socket_);
        own_ = std::move(link);
    } else if (resource.gpib()) {
        if (resource.kind == ResourceKind::GpibOnSocket) {
            socket_ = static_cast<SocketTransport*>(link.get());
        }
        auto adapter =
            std::make_unique<GpibAdapterTransport>(std::move(link), resource.gpibAddress, where);
        adapter_ = adapter.get();
        wire(*adapter_);
        own_ = std::move(adapter);
    }
}

} // namespace velmora

namespace velmora {

void ResourceLine::open() {
    if (ownsLine() && !own_) {
        throw TransportError(TransportError::Reason::BadResource, resource_.problem);
    }
    current().open();
}

} // namespace velmora

namespace velmora {

void PrepareEngineFor(const Resource& resource, AcquisitionEngine& engine,
                      const MeterProfile* chosen) {
    using Choice = AcquisitionEngine::IdentityChoice;
    const bool ownLine = resource.kind != ResourceKind::Serial;
    engine.setIdentifyOnConnect(ownLine);
    if (chosen || !ownLine) {
        engine.setProfileFromIdentity(Choice::None);
        engine.setProfile(chosen ? *chosen : Profile34401A());
        return;
    }
    // Until the meter has said who it is, the likeliest meter on that line.
    engine.setProfileFromIdentity(resource.gpib() ? Choice::Gpib : Choice::Network);
    engine.setProfile(resource.gpib() ? Profile34401AGpib() : ProfileLanMeter());
}

} // namespace velmora
