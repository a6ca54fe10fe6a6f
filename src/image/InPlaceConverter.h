// Turns S-record text into the image over the same buffer: header line, record scan, order and
// gap rules, end padding. The output position never passes the text still to be read, which
// is what lets one buffer serve both. It does not open files; LoadAppImage does, and fuzzing
// and tests hand it text directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/MessageSink.h"
#include "image/SRecordType.h"

namespace omblor::image {

struct ConvertedImage {
    std::uint32_t baseAddress = 0;
    std::uint32_t length = 0;
    std::string headerText;
};

class InPlaceConverter {
public:
    static constexpr std::size_t kMaxHeaderText = 79;

    // buffer holds the text in its first textSize bytes and has room for at least one byte
    // more, where a zero is placed. On success the image is the first `length` bytes of buffer;
    // on failure the messages have gone to sink and the buffer holds nothing of use.
    static std::optional<ConvertedImage> Convert(std::span<std::uint8_t> buffer,
                                                 std::size_t textSize, MessageSink& sink);

private:
    enum class Step { Next, Fail };

    InPlaceConverter(std::span<std::uint8_t> buffer, std::size_t textSize, MessageSink& sink);

    std::optional<ConvertedImage> Run();
    std::size_t ReadHeader(std::string& headerText);
    // The offset of the next 'S' at or after from, or textEnd_ when none is left.
    std::size_t FindS(std::size_t from);
    Step Record(std::size_t at, SRecordType type, std::size_t& resume);
    Step Refuse(std::size_t at, std::string_view text);
    Step RefuseChecksum(std::size_t at, std::uint8_t sum);

    // Whether [0, end) holds no zero byte, i.e. lies inside the text.
    bool InText(std::size_t end) {
        while (clean_ < end) {
            if (clean_ >= textEnd_) return false;
            Extend();
        }
        return true;
    }
    void Extend();

    std::uint8_t* text_ = nullptr;
    // The text ends at its first zero byte. That is only searched for a stretch ahead of the
    // scan, so the search runs over text that is about to be decoded anyway.
    std::size_t textEnd_ = 0;
    std::size_t clean_ = 0;
    MessageSink* sink_ = nullptr;

    bool haveData_ = false;
    std::size_t output_ = 0;
    std::uint32_t nextAddress_ = 0;
    std::uint32_t baseAddress_ = 0;
};

}  // namespace omblor::image
