// Builds module reply datagrams field by field, so tests state only what they care about.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "discovery/Ipv4Address.h"
#include "discovery/ReplyReader.h"
#include "discovery/ReplyRecord.h"

namespace omblor::discovery::testing {

inline MacAddress Mac(std::uint8_t last, std::uint8_t beforeLast = 0) {
    return {0, 0, 0, 0, beforeLast, last};
}

struct ReplyBuilder {
    MacAddress mac = Mac(1);
    MacAddress identity{};
    std::uint8_t type = 0;
    Ipv4Address configured{};
    // Present means the extension marker is set.
    std::optional<Ipv4Address> active{};
    std::uint32_t recordLength = ReplyRecord::kSize;
    // Raw bytes after the fixed part, e.g. "QX19\0App\0".
    std::string texts = std::string("QX19\0App\0", 9);

    [[nodiscard]] std::vector<std::uint8_t> Datagram() const {
        std::vector<std::uint8_t> d(kReplyFixedSize + texts.size(), 0);
        std::copy(texts.begin(), texts.end(), d.begin() + kReplyFixedSize);
        std::copy_n("KVTRr", 5, d.begin());
        for (int i = 0; i < 4; ++i)
            d[5 + i] = static_cast<std::uint8_t>(recordLength >> (24 - 8 * i));
        std::copy(configured.octets.begin(), configured.octets.end(), d.begin() + 9);
        std::copy(mac.begin(), mac.end(), d.begin() + 112);
        std::copy(identity.begin(), identity.end(), d.begin() + 123);
        d[129] = type;
        if (active) {
            d[130] = ReplyRecord::kExtensionMarker;
            std::copy(active->octets.begin(), active->octets.end(), d.begin() + 131);
        }
        return d;
    }

    [[nodiscard]] ParsedReply From(Ipv4Address source) const {
        return std::get<ParsedReply>(ReadReply(Datagram(), source));
    }
};

}  // namespace omblor::discovery::testing
