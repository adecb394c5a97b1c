// Serial port events from udev's monitor.
#include "serial/device_events.h"

#include <libudev.h>

namespace velmora {

namespace {

class UdevSerialEvents final : public DeviceEventSource {
public:
    UdevSerialEvents(udev* context, udev_monitor* monitor)
        : context_(context)
        , monitor_(monitor) {}
    ~UdevSerialEvents() override {
        udev_monitor_unref(monitor_);
        udev_unref(context_);
    }

    int Fd() const override { return udev_monitor_get_fd(monitor_); }

    std::vector<DeviceEvent> Take() override {
        std::vector<DeviceEvent> events;
        // The monitor's socket is non-blocking: this ends when none waits.
        while (udev_device* device = udev_monitor_receive_device(monitor_)) {
            DeviceEvent event;
            if (const char* action = udev_device_get_action(device))
                event.action = action;
            if (const char* node = udev_device_get_devnode(device))
                event.devnode = node;
            for (udev_list_entry* link = udev_device_get_devlinks_list_entry(device); link;
                 link = udev_list_entry_get_next(link))
                event.links.emplace_back(udev_list_entry_get_name(link));
            udev_device_unref(device);
            events.push_back(std::move(event));
        }
        return events;
    }

private:
    udev* context_;
    udev_monitor* monitor_;
};

} // namespace

std::unique_ptr<DeviceEventSource> OpenUdevSerialEvents() {
    udev* context = udev_new();
    if (!context)
        return nullptr;
    udev_monitor* monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor)
            udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    return std::make_unique<UdevSerialEvents>(context, monitor);
}

} // namespace velmora
