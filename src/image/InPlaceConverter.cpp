#include "image/InPlaceConverter.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "image/AppImageReader.h"
#include "image/Hex.h"
#include "resources/Messages.h"

namespace omblor::image {

namespace {
// How much text is searched for a zero byte ahead of the scan at a time: small enough to stay
// in the cache until it is decoded, large enough that the calls are few.
constexpr std::size_t kZeroSearchStretch = std::size_t{64} << 10;

// Passes messages on, telling the sink first where the refused record starts.
class RecordSink final : public MessageSink {
  public:
    RecordSink(MessageSink& sink, std::size_t at) : sink_(sink), at_(at) {}
    void Show(std::string_view text) override {
        if (!told_) sink_.OnRecordAt(at_);
        told_ = true;
        sink_.Show(text);
    }

  private:
    MessageSink& sink_;
    std::size_t at_;
    bool told_ = false;
};
}  // namespace

bool VerifyRecordChecksum(std::string_view record, RecordBytes& bytes, MessageSink& sink) {
    const auto* text = reinterpret_cast<const std::uint8_t*>(record.data());
    if (record.size() < 4) {
        sink.Show(messages::kRecordCutShort);
        return false;
    }
    const std::uint8_t count = HexByte(text[2], text[3]);
    if (record.size() < 4 + 2 * std::size_t{count}) {
        sink.Show(messages::kRecordCutShort);
        return false;
    }
    // Count byte first, then the count bytes after it: in whole blocks when the text reaches
    // that far, else exactly.
    const std::size_t recordBytes = std::size_t{count} + 1;
    const std::uint8_t sum = 2 + WideReach(recordBytes) <= record.size()
                                 ? DecodeHexWide(text + 2, recordBytes, bytes.data())
                                 : DecodeHex(text + 2, recordBytes, bytes.data());
    // A count of 0 fails here, with sum 0.
    if (sum == 0xFF) return true;
    ShowChecksumError(sum, sink);
    return false;
}

std::optional<ConvertedImage> InPlaceConverter::Convert(std::span<std::uint8_t> buffer,
                                                        std::size_t textSize, MessageSink& sink,
                                                        ImageOutput* output) {
    assert(buffer.size() > textSize);
    return InPlaceConverter(buffer, textSize, sink, output).Run();
}

InPlaceConverter::InPlaceConverter(std::span<std::uint8_t> buffer, std::size_t textSize,
                                   MessageSink& sink, ImageOutput* output)
    : text_(buffer.data()),
      sink_(&sink),
      pages_(output),
      ownUpTo_(output != nullptr ? 0 : SIZE_MAX),
      textSize_(textSize) {
    text_[textSize_] = 0;
}

void InPlaceConverter::Extend() {
    const std::size_t stop = std::min(textSize_ + 1, clean_ + kZeroSearchStretch);
    const void* zero = std::memchr(text_ + clean_, 0, stop - clean_);
    if (zero != nullptr) {
        clean_ = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - text_);
        ended_ = true;
    } else {
        clean_ = stop;
    }
}

std::size_t InPlaceConverter::ReadHeader(std::string& headerText) {
    if (!InText(2) || text_[0] != 'S' || text_[1] != '0') return 0;
    // The first CR or LF anywhere in the text ends the header line.
    std::size_t at = 2;
    for (;; ++at) {
        if (!InText(at + 1)) return at;  // no line end at all: no header, nothing to scan
        if (text_[at] == '\r' || text_[at] == '\n') break;
    }
    headerText.assign(reinterpret_cast<const char*>(text_) + 2, std::min(at - 2, kMaxHeaderText));
    // After CR LF the scan starts on the LF and passes over it.
    return at + 1;
}

std::optional<std::size_t> InPlaceConverter::FindS(std::size_t from) {
    std::size_t at = from;
    // Records usually follow each other after a checksum and a line end: look a few
    // characters ahead before paying for a search call.
    for (const std::size_t stop = std::min(at + 8, clean_); at < stop; ++at) {
        if (text_[at] == 'S') return at;
    }
    for (;;) {
        if (at >= clean_) {
            if (ended_) return std::nullopt;
            Extend();
            continue;
        }
        const void* s = std::memchr(text_ + at, 'S', clean_ - at);
        if (s != nullptr)
            return static_cast<std::size_t>(static_cast<const std::uint8_t*>(s) - text_);
        at = clean_;
    }
}

InPlaceConverter::Step InPlaceConverter::Refuse(std::size_t at, std::string_view text) {
    sink_->OnRecordAt(at);
    sink_->Show(text);
    return Step::Fail;
}

InPlaceConverter::Step InPlaceConverter::Record(std::size_t at, SRecordType type,
                                                std::size_t& resume) {
    // S, type, count, then count bytes of address, data and checksum.
    if (!InText(at + 4)) return Refuse(at, messages::kRecordCutShort);
    const std::size_t end = at + 4 + 2 * std::size_t{HexByte(text_[at + 2], text_[at + 3])};
    if (!InText(end)) return Refuse(at, messages::kRecordCutShort);

    RecordBytes bytes;  // NOLINT(cppcoreguidelines-pro-type-member-init)
    const std::string_view record(reinterpret_cast<const char*>(text_) + at, clean_ - at);
    RecordSink recordSink(*sink_, at);
    if (!VerifyRecordChecksum(record, bytes, recordSink)) {
        sink_->Show(messages::kChecksumError);
        return Step::Fail;
    }
    const std::uint8_t count = bytes[0];

    const std::size_t addressBytes = type.addressBytes;
    if (count < addressBytes + 1) return Refuse(at, messages::kCountTooSmall);
    std::uint32_t address = 0;
    for (std::size_t i = 1; i <= addressBytes; ++i) address = (address << 8) | bytes[i];
    const std::size_t dataAt = at + 4 + 2 * addressBytes;

    if (type.kind == SRecordType::Kind::PassOver) {
        // Only the address field is read over; what follows is scanned as text.
        resume = dataAt;
        return Step::Next;
    }

    std::size_t gap = 0;
    if (haveData_ && address != nextAddress_) {
        if (address < nextAddress_) return Refuse(at, messages::kNotAscending);
        gap = address - nextAddress_;
        // Equal is allowed: the zeros then end right where this record's data is read.
        if (output_ + gap > dataAt) return Refuse(at, messages::kConversionError);
    }
    const std::size_t dataBytes = count - addressBytes - 1;
    resume = dataAt + 2 * dataBytes;  // the checksum characters, scanned again as text
    if (output_ + gap + dataBytes > ownUpTo_) {
        ownUpTo_ = pages_->BeforeWrite(output_ + gap + dataBytes, output_, resume);
    }
    // Gap and data land over text already read: at most up to this record's data.
    if (gap != 0) std::memset(text_ + output_, 0, gap);
    std::memcpy(text_ + output_ + gap, bytes.data() + 1 + addressBytes, dataBytes);
    if (!haveData_) {
        haveData_ = true;
        baseAddress_ = address;
    }
    output_ += gap + dataBytes;
    nextAddress_ = address + static_cast<std::uint32_t>(dataBytes);
    return Step::Next;
}

std::optional<ConvertedImage> InPlaceConverter::Run() {
    ConvertedImage image;
    std::size_t at = ReadHeader(image.headerText);
    for (;;) {
        const auto found = FindS(at);
        if (!found) break;
        at = *found;
        // An 'S' as the text's last character begins nothing.
        if (!InText(at + 2)) break;
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
    // at most three zeros still fit in the buffer.
    assert(output_ + 3 <= textSize_ + 1);
    while (nextAddress_ % 4 != 0) {
        text_[output_++] = 0;
        ++nextAddress_;
    }
    image.baseAddress = baseAddress_;
    image.length = nextAddress_ - baseAddress_;
    return image;
}

}  // namespace omblor::image
