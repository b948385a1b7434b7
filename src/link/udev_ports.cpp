// libudev adapters: the tty enumeration behind the port list and the monitor behind the port
// notifier.

#include <libudev.h>

#include <memory>

#include "link/port_discovery.h"
#include "link/port_notifier.h"

namespace {
struct TUdevDeleter {
    void operator()(udev* u) const { udev_unref(u); }
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
    void operator()(udev_device* d) const { udev_device_unref(d); }
};
template <typename T>
using TUdevPtr = std::unique_ptr<T, TUdevDeleter>;

QString Text(const char* s) {
    return s ? QString::fromUtf8(s) : QString();
}

// Database names ("Future Technology Devices International, Ltd") are preferred to the raw
// descriptor strings ("FTDI").
QString Property(udev_device* dev, const char* preferred, const char* fallback) {
    QString v = Text(udev_device_get_property_value(dev, preferred));
    if (v.isEmpty()) v = Text(udev_device_get_property_value(dev, fallback));
    return v;
}

TTtyDevice Describe(udev_device* dev) {
    TTtyDevice d;
    d.KernelName = Text(udev_device_get_sysname(dev));
    d.DevPath = Text(udev_device_get_devpath(dev));
    d.UartType = Text(udev_device_get_sysattr_value(dev, "type"));
    d.Vendor = Property(dev, "ID_VENDOR_FROM_DATABASE", "ID_VENDOR");
    d.Model = Property(dev, "ID_MODEL_FROM_DATABASE", "ID_MODEL");
    // The parent is owned by `dev`; it is not unreferenced here.
    if (udev_device* parent = udev_device_get_parent(dev)) {
        d.ParentSubsystem = Text(udev_device_get_subsystem(parent));
        d.ParentDriver = Text(udev_device_get_driver(parent));
    }
    return d;
}

class TUdevTtySource final : public TTtyDeviceSource {
public:
    std::vector<TTtyDevice> TtyDevices() override {
        std::vector<TTtyDevice> out;
        TUdevPtr<udev> u(udev_new());
        if (!u) return out;
        TUdevPtr<udev_enumerate> en(udev_enumerate_new(u.get()));
        if (!en || udev_enumerate_add_match_subsystem(en.get(), "tty") < 0 ||
            udev_enumerate_scan_devices(en.get()) < 0)
            return out;
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en.get())) {
            TUdevPtr<udev_device> dev(
                udev_device_new_from_syspath(u.get(), udev_list_entry_get_name(entry)));
            if (dev) out.push_back(Describe(dev.get()));
        }
        return out;
    }
};

class TUdevPortEventSource final : public TPortEventSource {
public:
    bool Start() {
        fUdev.reset(udev_new());
        if (!fUdev) return false;
        fMonitor.reset(udev_monitor_new_from_netlink(fUdev.get(), "udev"));
        if (!fMonitor) return false;
        if (udev_monitor_filter_add_match_subsystem_devtype(fMonitor.get(), "tty", nullptr) < 0 ||
            udev_monitor_enable_receiving(fMonitor.get()) < 0)
            return false;
        return udev_monitor_get_fd(fMonitor.get()) >= 0;
    }

    int Fd() const override { return udev_monitor_get_fd(fMonitor.get()); }

    // The monitor socket is non-blocking: take every waiting event.
    std::vector<TPortEvent> Receive() override {
        std::vector<TPortEvent> out;
        while (udev_device* raw = udev_monitor_receive_device(fMonitor.get())) {
            TUdevPtr<udev_device> dev(raw);
            const QString action = Text(udev_device_get_action(raw));
            TPortEvent ev;
            ev.Name = Text(udev_device_get_sysname(raw));
            if (action == QStringLiteral("add")) {
                // The device is present: apply the same rules as the port list.
                ev.Change = pcArrival;
                if (!HasHardware(Describe(raw))) continue;
            } else if (action == QStringLiteral("remove")) {
                ev.Change = pcRemoval;
                if (!IsPortEvent(ev.Name, Text(udev_device_get_devpath(raw)))) continue;
            } else {
                continue;
            }
            out.push_back(ev);
        }
        return out;
    }

private:
    TUdevPtr<udev> fUdev;
    TUdevPtr<udev_monitor> fMonitor;
};
}  // namespace

TTtyDeviceSource& UdevTtySource() {
    static TUdevTtySource source;
    return source;
}

std::unique_ptr<TPortEventSource> MakeUdevPortEventSource() {
    auto source = std::make_unique<TUdevPortEventSource>();
    if (!source->Start()) return nullptr;
    return source;
}
