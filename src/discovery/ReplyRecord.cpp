#include "discovery/ReplyRecord.h"

#include <algorithm>

namespace omblor::discovery {

ReplyRecord::ReplyRecord(std::span<const std::uint8_t, kSize> bytes) {
    std::ranges::copy(bytes, bytes_.begin());
}

std::uint32_t ReplyRecord::RecordLength() const {
    return (std::uint32_t{bytes_[0]} << 24) | (std::uint32_t{bytes_[1]} << 16) |
           (std::uint32_t{bytes_[2]} << 8) | std::uint32_t{bytes_[3]};
}

Ipv4Address ReplyRecord::AddressAt(std::size_t offset) const {
    Ipv4Address address;
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), address.octets.size(),
                address.octets.begin());
    return address;
}

MacAddress ReplyRecord::MacAt(std::size_t offset) const {
    MacAddress mac{};
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), mac.size(), mac.begin());
    return mac;
}

bool AgreesWithSource(const ReplyRecord& record, Ipv4Address source) {
    if (!record.HasActiveAddress()) return true;
    return record.ActiveAddress() == source || record.ConfiguredAddress() == source;
}

Ipv4Address UsableAddress(const ReplyRecord& record, Ipv4Address source) {
    if (AgreesWithSource(record, source)) return source;
    // Only reached with the extension marker present, so the active address is meaningful.
    if (!record.ActiveAddress().IsZero()) return record.ActiveAddress();
    return record.ConfiguredAddress();
}

MacAddress DeviceKey(const ReplyRecord& record) {
    const MacAddress identity = record.DeviceIdentity();
    const bool absent = std::ranges::all_of(identity, [](std::uint8_t b) { return b == 0; });
    return absent ? record.InterfaceMac() : identity;
}

int CompareMac(const MacAddress& a, const MacAddress& b) {
    const auto [pa, pb] = std::ranges::mismatch(a, b);
    if (pa == a.end()) return 0;
    return *pa > *pb ? 1 : -1;
}

std::string_view InterfaceTypeName(std::uint8_t interfaceType) {
    static constexpr std::array<std::string_view, 3> kNames{"Ethernet", "WiFi", "Ethernet2"};
    return kNames[interfaceType % kNames.size()];
}

}  // namespace omblor::discovery
