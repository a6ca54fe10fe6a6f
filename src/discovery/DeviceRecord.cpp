#include "discovery/DeviceRecord.h"

namespace omblor::discovery {

std::string ItemLabel(const DeviceRecord& device) {
    if (device.IsGrouped()) return device.platformName + " running " + device.applicationText;

    const bool configured = !device.record.ConfiguredAddress().IsZero();
    const std::string address = UsableAddress(device.record, device.source).Dotted();
    if (device.IsInterface()) {
        std::string label(InterfaceTypeName(device.record.InterfaceType()));
        label += configured ? " at " : " DHCP'd at ";
        return label + address;
    }
    // Two blanks before "at" in the configured form, one in the DHCP'd form, as it has always
    // been shown.
    std::string label = device.platformName;
    label += configured ? "  at " : " DHCP'd at ";
    return label + address + " running " + device.applicationText;
}

int StateImageIndex(const DeviceRecord& device) {
    if (device.IsGrouped()) return 1;
    const int base = IsWireless(device.record.InterfaceType()) ? 4 : 2;
    return device.Agrees() ? base : base + 1;
}

}  // namespace omblor::discovery
