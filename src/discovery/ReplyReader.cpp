#include "discovery/ReplyReader.h"

#include <algorithm>
#include <array>

namespace omblor::discovery {

namespace {

constexpr std::array<std::uint8_t, 4> kReplyMagic{'K', 'V', 'T', 'R'};

// The text at the start of `bytes`, up to its NUL or the end. `terminated` tells whether the NUL
// was there.
std::span<const std::uint8_t> TextAt(std::span<const std::uint8_t> bytes, bool& terminated) {
    const auto nul = std::ranges::find(bytes, std::uint8_t{0});
    terminated = nul != bytes.end();
    return bytes.first(static_cast<std::size_t>(nul - bytes.begin()));
}

std::string Cut(std::span<const std::uint8_t> text, std::size_t limit) {
    text = text.first(std::min(text.size(), limit));
    return {text.begin(), text.end()};
}

// Fills the two texts from what follows the fixed part.
void ReadTexts(std::span<const std::uint8_t> tail, ParsedReply& reply) {
    bool platformTerminated = false;
    const auto platform = TextAt(tail, platformTerminated);
    reply.platformName = Cut(platform, kMaxPlatformNameLength);
    if (!platformTerminated) return;
    // A lone byte after the platform name's NUL is not taken as a name.
    const auto rest = tail.subspan(platform.size() + 1);
    if (rest.size() < 2) return;
    bool ignored = false;
    const std::string name = Cut(TextAt(rest, ignored), kMaxApplicationNameLength);
    // An empty name still gives the colon alone; only "Unknown" means no application.
    if (name == "Unknown") return;
    reply.applicationText = ':' + name;
}

}  // namespace

std::string_view ApplicationName(std::string_view applicationText) {
    if (applicationText.starts_with(':')) applicationText.remove_prefix(1);
    return applicationText;
}

ReplyReading ReadReply(std::span<const std::uint8_t> datagram, Ipv4Address sender) {
    ParsedReply reply;
    reply.source = sender;
    if (sender == kRelayAddress) {
        if (datagram.size() < 4) return ReplyDrop::MissingRelayTrailer;
        const auto trailer = datagram.last(4);
        std::ranges::copy(trailer, reply.source.octets.begin());
        datagram = datagram.first(datagram.size() - 4);
        reply.relayed = true;
    }
    if (datagram.size() < kReplyMagic.size() ||
        !std::ranges::equal(datagram.first(kReplyMagic.size()), kReplyMagic)) {
        return ReplyDrop::WrongMagic;
    }
    if (datagram.size() < kReplyFixedSize) return ReplyDrop::Truncated;

    reply.record = ReplyRecord(datagram.subspan<ReplyRecord::kReplyOffset, ReplyRecord::kSize>());
    const std::uint64_t recordEnd =
        ReplyRecord::kReplyOffset + std::uint64_t{reply.record.RecordLength()};
    if (reply.record.RecordLength() < ReplyRecord::kSize || recordEnd > datagram.size()) {
        return ReplyDrop::BadRecordLength;
    }
    ReadTexts(datagram.subspan(kReplyFixedSize), reply);
    return reply;
}

}  // namespace omblor::discovery
