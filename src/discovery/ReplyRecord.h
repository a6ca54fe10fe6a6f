// The fixed 148-byte part of a module's discovery reply (reply bytes 5 to 152), kept byte for
// byte, with readers for the fields the program uses and the rules that judge a reply against
// the address it came from. It does not parse datagrams (see ReplyReader) and knows no tree.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "discovery/Ipv4Address.h"

namespace omblor::discovery {

using MacAddress = std::array<std::uint8_t, 6>;

class ReplyRecord {
  public:
    static constexpr std::size_t kSize = 148;
    // Where the record starts inside a reply datagram; a reply field at offset k is at k - 5.
    static constexpr std::size_t kReplyOffset = 5;
    static constexpr std::uint8_t kExtensionMarker = 0xAA;

    ReplyRecord() = default;
    explicit ReplyRecord(std::span<const std::uint8_t, kSize> bytes);

    [[nodiscard]] std::span<const std::uint8_t, kSize> Bytes() const { return bytes_; }

    [[nodiscard]] std::uint32_t RecordLength() const;
    // 0.0.0.0 means the module takes its address by DHCP.
    [[nodiscard]] Ipv4Address ConfiguredAddress() const { return AddressAt(kConfigured); }
    [[nodiscard]] MacAddress InterfaceMac() const { return MacAt(kInterfaceMac); }
    // Shared by all interfaces of one module; all zero when the module has none.
    [[nodiscard]] MacAddress DeviceIdentity() const { return MacAt(kDeviceIdentity); }
    [[nodiscard]] std::uint8_t InterfaceType() const { return bytes_[kInterfaceType]; }
    [[nodiscard]] bool HasActiveAddress() const { return bytes_[kMarker] == kExtensionMarker; }
    // Meaningful only when HasActiveAddress(); the bytes are read either way.
    [[nodiscard]] Ipv4Address ActiveAddress() const { return AddressAt(kActive); }

    friend bool operator==(const ReplyRecord&, const ReplyRecord&) = default;

  private:
    // Record offsets (reply offset minus 5).
    static constexpr std::size_t kConfigured = 4;
    static constexpr std::size_t kInterfaceMac = 107;
    static constexpr std::size_t kDeviceIdentity = 118;
    static constexpr std::size_t kInterfaceType = 124;
    static constexpr std::size_t kMarker = 125;
    static constexpr std::size_t kActive = 126;

    [[nodiscard]] Ipv4Address AddressAt(std::size_t offset) const;
    [[nodiscard]] MacAddress MacAt(std::size_t offset) const;

    std::array<std::uint8_t, kSize> bytes_{};
};

// Whether the reply's own addresses are consistent with the address it came from. A reply
// without the extension marker always agrees: older modules cannot say where they are.
[[nodiscard]] bool AgreesWithSource(const ReplyRecord& record, Ipv4Address source);

// The address the operator gets for this reply; 0.0.0.0 when there is none.
[[nodiscard]] Ipv4Address UsableAddress(const ReplyRecord& record, Ipv4Address source);

// Identifies the module: its device identity, or the interface MAC when it has none.
[[nodiscard]] MacAddress DeviceKey(const ReplyRecord& record);

// -1, 0 or +1, bytes compared as unsigned from the first.
[[nodiscard]] int CompareMac(const MacAddress& a, const MacAddress& b);

// "Ethernet", "WiFi" or "Ethernet2", by the interface type byte modulo 3.
[[nodiscard]] std::string_view InterfaceTypeName(std::uint8_t interfaceType);

// Only the exact value 1 counts as wireless for the pictures, though 4 is also named "WiFi".
[[nodiscard]] constexpr bool IsWireless(std::uint8_t interfaceType) {
    return interfaceType == 1;
}

}  // namespace omblor::discovery
