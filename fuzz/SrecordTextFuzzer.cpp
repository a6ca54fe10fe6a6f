// Whole application-file text through the in-place converter, held to the plain reference
// reading: same outcome, same messages, same image byte for byte. The buffer is exactly text
// plus one byte, so AddressSanitizer sees any step past it. Each input goes through twice:
// once as it is, once with the text the converter has finished with scrambled as it goes, the
// way the mapped buffer swaps it for pages of its own, so reading it again shows up.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ReferenceReader.h"
#include "image/InPlaceConverter.h"

namespace {
struct Collect final : omblor::image::MessageSink {
    std::vector<std::string> messages;
    std::optional<std::size_t> recordAt;
    void Show(std::string_view text) override { messages.emplace_back(text); }
    void OnRecordAt(std::size_t offset) override { recordAt = offset; }
};

// The mapped buffer's rule in 16-byte pages, 64 bytes at a time: text below `read` goes, image
// bytes below `written` stay.
class Scrambler final : public omblor::image::ImageOutput {
  public:
    explicit Scrambler(std::vector<std::uint8_t>& buffer) : buffer_(buffer) {}
    std::size_t BeforeWrite(std::size_t end, std::size_t written, std::size_t read) override {
        const std::size_t to =
            std::min(std::max((end + 15) / 16 * 16, owned_ + 64), read / 16 * 16);
        for (std::size_t i = std::max(owned_, written); i < to; ++i) buffer_[i] = 0xA5;
        owned_ = std::max(owned_, to);
        return owned_;
    }

  private:
    std::vector<std::uint8_t>& buffer_;
    std::size_t owned_ = 0;
};

void Check(bool condition) {
    if (!condition) std::abort();
}

void Compare(const std::optional<omblor::image::ConvertedImage>& image, const Collect& sink,
             const std::vector<std::uint8_t>& buffer,
             const omblor::fuzz::ReferenceResult& expected) {
    Check(image.has_value() == expected.ok);
    Check(sink.messages == expected.messages);
    Check(sink.recordAt == expected.recordAt);
    if (!image) return;
    Check(image->baseAddress == expected.baseAddress);
    Check(image->length == expected.length);
    Check(image->headerText == expected.headerText);
    Check(expected.image.size() == image->length);
    Check(image->length <= buffer.size());
    Check(image->length == 0 ||
          std::memcmp(buffer.data(), expected.image.data(), image->length) == 0);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto expected =
        omblor::fuzz::ReadReference(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const bool scramble : {false, true}) {
        std::vector<std::uint8_t> buffer(data, data + size);
        buffer.push_back(0xEE);  // the converter must put its own zero here
        Scrambler scrambler(buffer);
        Collect sink;
        const auto image = omblor::image::InPlaceConverter::Convert(
            buffer, size, sink, scramble ? &scrambler : nullptr);
        Compare(image, sink, buffer, expected);
    }
    return 0;
}
