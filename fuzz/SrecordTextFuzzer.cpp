// Whole application-file text through the in-place converter, held to the plain reference
// reading: same outcome, same messages, same image byte for byte. The buffer is exactly text
// plus one byte, so AddressSanitizer sees any step past it.
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
    std::vector<std::uint8_t> buffer(data, data + size);
    buffer.push_back(0xEE);  // the converter must put its own zero here
    Collect sink;
    const auto image = omblor::image::InPlaceConverter::Convert(buffer, size, sink);
    Compare(image, sink, buffer, expected);
    return 0;
}
