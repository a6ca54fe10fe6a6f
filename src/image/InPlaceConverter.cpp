#include "image/InPlaceConverter.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "image/AppImageReader.h"
#include "image/Hex.h"
#include "image/ReaderMessages.h"

namespace omblor::image {

namespace {
// How far ahead of the scan the text is searched for a zero byte at a time: small enough to
// stay in cache until decoded, large enough that the search is one call per many records.
constexpr std::size_t kZeroSearchStretch = std::size_t{64} << 10;
}  // namespace

std::optional<ConvertedImage> InPlaceConverter::Convert(std::span<std::uint8_t> buffer,
                                                        std::size_t textSize, MessageSink& sink) {
    assert(buffer.size() > textSize);
    buffer[textSize] = 0;
    return InPlaceConverter(buffer, textSize, sink).Run();
}

InPlaceConverter::InPlaceConverter(std::span<std::uint8_t> buffer, std::size_t textSize,
                                   MessageSink& sink)
    : text_(buffer.data()), textEnd_(textSize), sink_(&sink) {}

void InPlaceConverter::Extend() {
    const std::size_t stop = std::min(textEnd_, clean_ + kZeroSearchStretch);
    const void* zero = std::memchr(text_ + clean_, 0, stop - clean_);
    if (zero != nullptr) {
        textEnd_ = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - text_);
        clean_ = textEnd_;
    } else {
        clean_ = stop;
    }
}

std::size_t InPlaceConverter::ReadHeader(std::string& headerText) {
    if (!InText(2) || text_[0] != 'S' || text_[1] != '0') return 0;
    // The first CR or LF anywhere in the text ends the header line; strcspn stops at the
    // text's zero, which is also where Convert put one.
    const std::size_t lineEnd = std::strcspn(reinterpret_cast<const char*>(text_), "\r\n");
    if (text_[lineEnd] == 0) {
        // No line end at all: no header, and nothing after it to scan.
        InText(lineEnd + 1);
        return lineEnd;
    }
    const std::size_t length = std::min(lineEnd - 2, kMaxHeaderText);
    headerText.assign(reinterpret_cast<const char*>(text_) + 2, length);
    // After CR LF the scan starts on the LF and passes over it.
    return lineEnd + 1;
}

std::size_t InPlaceConverter::FindS(std::size_t from) {
    std::size_t at = from;
    // Records usually follow each other after a line end: look a few characters ahead before
    // paying for a search call.
    for (std::size_t i = 0; i < 4 && at < clean_; ++i, ++at) {
        if (text_[at] == 'S') return at;
    }
    for (;;) {
        if (at >= clean_) {
            if (clean_ >= textEnd_) return textEnd_;
            Extend();
            continue;
        }
        const void* s = std::memchr(text_ + at, 'S', clean_ - at);
        if (s != nullptr) return static_cast<std::size_t>(static_cast<const std::uint8_t*>(s) - text_);
        at = clean_;
    }
}

InPlaceConverter::Step InPlaceConverter::Refuse(std::size_t at, std::string_view text) {
    sink_->OnRecordAt(at);
    sink_->Show(text);
    return Step::Fail;
}

InPlaceConverter::Step InPlaceConverter::RefuseChecksum(std::size_t at, std::uint8_t sum) {
    sink_->OnRecordAt(at);
    ShowChecksumError(sum, *sink_);
    sink_->Show(messages::kChecksumError);
    return Step::Fail;
}

InPlaceConverter::Step InPlaceConverter::Record(std::size_t at, SRecordType type,
                                                std::size_t& resume) {
    // S, type, count, then count bytes of address, data and checksum.
    if (!InText(at + 4)) return Refuse(at, messages::kRecordCutShort);
    const std::uint8_t* const fields = text_ + at + 4;
    const std::uint8_t count = HexByte(text_[at + 2], text_[at + 3]);
    if (!InText(at + 4 + 2 * std::size_t{count})) return Refuse(at, messages::kRecordCutShort);

    const std::size_t addressBytes = type.addressBytes;
    if (count < addressBytes + 1) {
        // A count of 0 lands here too and fails its checksum with sum 0.
        const auto sum = static_cast<std::uint8_t>(count + SumHex(fields, count));
        if (sum != 0xFF) return RefuseChecksum(at, sum);
        return Refuse(at, messages::kCountTooSmall);
    }

    unsigned sum = count;
    std::uint32_t address = 0;
    for (std::size_t i = 0; i < addressBytes; ++i) {
        const std::uint8_t byte = HexByte(fields[2 * i], fields[2 * i + 1]);
        sum += byte;
        address = (address << 8) | byte;
    }
    const std::size_t dataBytes = count - addressBytes - 1;
    const std::size_t dataAt = at + 4 + 2 * addressBytes;
    const std::size_t checksumAt = dataAt + 2 * dataBytes;

    if (type.kind == SRecordType::Kind::PassOver) {
        sum += SumHex(text_ + dataAt, dataBytes + 1);
        if (static_cast<std::uint8_t>(sum) != 0xFF) return RefuseChecksum(at, static_cast<std::uint8_t>(sum));
        // Only the address field is read over; what follows is scanned as text.
        resume = dataAt;
        return Step::Next;
    }

    // Where the data goes, decided before anything is written. The checksum is checked first
    // all the same, so its message wins over the placement ones.
    std::string_view placementError;
    std::size_t gap = 0;
    if (haveData_ && address != nextAddress_) {
        if (address < nextAddress_) {
            placementError = messages::kNotAscending;
        } else {
            gap = address - nextAddress_;
            // Equal is allowed: the zeros then end right where this record's data is read.
            if (output_ + gap > dataAt) placementError = messages::kConversionError;
        }
    }
    const std::size_t dest = haveData_ ? output_ + gap : 0;
    if (placementError.empty()) {
        sum += DecodeHex(text_ + dataAt, dataBytes, text_ + dest);
    } else {
        sum += SumHex(text_ + dataAt, dataBytes);
    }
    sum += HexByte(text_[checksumAt], text_[checksumAt + 1]);
    if (static_cast<std::uint8_t>(sum) != 0xFF) return RefuseChecksum(at, static_cast<std::uint8_t>(sum));
    if (!placementError.empty()) return Refuse(at, placementError);

    // The gap lies wholly before the data just written, over text already read.
    if (gap != 0) std::memset(text_ + output_, 0, gap);
    if (!haveData_) {
        haveData_ = true;
        baseAddress_ = address;
    }
    output_ = dest + dataBytes;
    nextAddress_ = address + static_cast<std::uint32_t>(dataBytes);
    resume = checksumAt;
    return Step::Next;
}

std::optional<ConvertedImage> InPlaceConverter::Run() {
    ConvertedImage image;
    std::size_t at = ReadHeader(image.headerText);
    for (;;) {
        at = FindS(at);
        if (at >= textEnd_) break;
        // text_[textEnd_] is zero, so the type digit can always be looked at.
        const SRecordType type = SRecordType::Of(text_[at + 1]);
        if (type.kind == SRecordType::Kind::None) {
            ++at;
            continue;
        }
        if (Record(at, type, at) == Step::Fail) return std::nullopt;
    }
    if (!haveData_) {
        sink_->Show(messages::kNoDataRecords);
        return std::nullopt;
    }
    // Align the end address. The output sits at or before the last record's checksum, so the
    // at most three zeros still fit before the end of the buffer.
    while (nextAddress_ % 4 != 0) {
        text_[output_++] = 0;
        ++nextAddress_;
    }
    image.baseAddress = baseAddress_;
    image.length = nextAddress_ - baseAddress_;
    return image;
}

}  // namespace omblor::image
