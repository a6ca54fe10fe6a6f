#include "discovery/Datagrams.h"

#include <algorithm>

namespace omblor::discovery {

std::array<std::uint8_t, kRequestSize> BuildRequest() {
    std::array<std::uint8_t, kRequestSize> request{};
    request[0] = 'T';
    request[1] = 'R';
    request[2] = 'V';
    request[3] = 'K';
    request[4] = 'R';
    return request;
}

std::vector<std::uint8_t> BuildAcknowledgement(std::span<const AckEntry> entries) {
    const std::size_t count = std::min(entries.size(), kMaxAcknowledgementEntries);
    std::vector<std::uint8_t> ack{'T', 'R', 'V', '2', 'V'};
    ack.reserve(10 + 2 * count);
    for (const AckEntry& entry : entries.first(count)) {
        const MacAddress mac = entry.record->InterfaceMac();
        // The flag tells the module that the address it claims is not where it was heard from.
        const std::uint8_t flag = AgreesWithSource(*entry.record, entry.source) ? 0x00 : 0x80;
        ack.push_back(static_cast<std::uint8_t>(mac[4] ^ flag));
        ack.push_back(mac[5]);
    }
    ack.insert(ack.end(), 5, 0);
    return ack;
}

}  // namespace omblor::discovery
