// An IPv4 address as discovery carries it: four octets in network order, first dotted number
// first. Holding the octets (not an integer) keeps wire bytes and record fields comparable
// without byte-order guesses; conversion to the host-order value happens only at the edges.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace omblor::discovery {

struct Ipv4Address {
    std::array<std::uint8_t, 4> octets{};

    // 10.1.2.3 is 0x0A010203.
    static constexpr Ipv4Address FromHostOrder(std::uint32_t value) {
        return Ipv4Address{
            {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
             static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}};
    }
    [[nodiscard]] constexpr std::uint32_t HostOrder() const {
        return (std::uint32_t{octets[0]} << 24) | (std::uint32_t{octets[1]} << 16) |
               (std::uint32_t{octets[2]} << 8) | std::uint32_t{octets[3]};
    }
    [[nodiscard]] constexpr bool IsZero() const { return HostOrder() == 0; }
    // "10.1.2.3"
    [[nodiscard]] std::string Dotted() const {
        return std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.' +
               std::to_string(octets[2]) + '.' + std::to_string(octets[3]);
    }

    friend constexpr bool operator==(const Ipv4Address&, const Ipv4Address&) = default;
};

// Datagrams from this sender carry the address of the module they were relayed for.
inline constexpr Ipv4Address kRelayAddress{{127, 0, 0, 1}};

}  // namespace omblor::discovery
