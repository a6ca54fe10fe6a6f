// Reads one received discovery datagram: unwraps the relay trailer, checks that it is a module's
// reply whose fixed part was received in full, and takes out its record and its two texts.
// Every rejection has its own reason so callers and tests can tell which rule dropped it. It
// keeps no state; merging accepted replies is the device list's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "discovery/Ipv4Address.h"
#include "discovery/ReplyRecord.h"

namespace omblor::discovery {

// The socket receives into a buffer of this size; anything longer never gets here.
inline constexpr std::size_t kMaxDatagramSize = 1024;
inline constexpr std::size_t kReplyFixedSize = ReplyRecord::kReplyOffset + ReplyRecord::kSize;
inline constexpr std::size_t kMaxPlatformNameLength = 79;
inline constexpr std::size_t kMaxApplicationNameLength = 199;

struct ParsedReply {
    ReplyRecord record;
    std::string platformName;
    // Empty, or ':' followed by the application name.
    std::string applicationText;
    Ipv4Address source;
    // Came from the relay address; `source` is then the module's address from the trailer.
    bool relayed = false;
};

enum class ReplyDrop {
    // From 127.0.0.1 but too short to hold the relayed module's address.
    MissingRelayTrailer,
    // Not "KVTR": also how the program's own broadcasts, echoed back, are dropped.
    WrongMagic,
    // The magic is right but the 153-byte fixed part was not all received.
    Truncated,
    // The record length field says less than a whole record, or more than was received.
    BadRecordLength,
};

using ReplyReading = std::variant<ParsedReply, ReplyDrop>;

// The application name alone, without the colon the application text carries for the labels.
[[nodiscard]] std::string_view ApplicationName(std::string_view applicationText);

// `datagram` is what was received from `sender`, without anything beyond it.
[[nodiscard]] ReplyReading ReadReply(std::span<const std::uint8_t> datagram, Ipv4Address sender);

}  // namespace omblor::discovery
