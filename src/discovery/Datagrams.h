// The two datagrams the program broadcasts during a search: the request that starts it and the
// acknowledgement that lists every interface heard so far. Only the bytes are built here;
// sending them, and when, belongs to the discovery search and its socket.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "discovery/Ipv4Address.h"
#include "discovery/ReplyRecord.h"
#include "net/ModulePort.h"

namespace omblor::discovery {

inline constexpr std::uint16_t kDiscoveryPort = net::kModulePort;
inline constexpr std::uint16_t kFallbackDiscoveryPort = net::kModulePort + 1;
inline constexpr Ipv4Address kBroadcastAddress{{255, 255, 255, 255}};

inline constexpr std::size_t kRequestSize = 153;
// An acknowledgement stays within 1500 bytes: 10 bytes of frame and 2 per entry.
inline constexpr std::size_t kMaxAcknowledgementEntries = 745;

// One interface heard, as the acknowledgement names it. Points into the device list, so it is
// valid only while the list is unchanged.
struct AckEntry {
    const ReplyRecord* record = nullptr;
    Ipv4Address source;
};

// "TRVK", 'R' and 148 zero bytes.
[[nodiscard]] std::array<std::uint8_t, kRequestSize> BuildRequest();

// "TRV2", 'V', two bytes per entry (the last two bytes of the interface MAC, bit 7 of the first
// flipped when the reply does not agree with its source), then five zero bytes. Entries past
// the first kMaxAcknowledgementEntries are left out so the datagram still fits one frame.
[[nodiscard]] std::vector<std::uint8_t> BuildAcknowledgement(std::span<const AckEntry> entries);

}  // namespace omblor::discovery
