// Turns S-record text into the image over the same buffer: header line, record scan, order and
// gap rules, end padding. The output position never passes the text still to be read, which
// is what lets one buffer serve both. It opens no files: LoadAppImage hands it the mapped file,
// fuzzing and tests hand it text directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "image/MessageSink.h"
#include "image/SRecordType.h"

namespace omblor::image {

// Told before image bytes are written, by a buffer that wants to give the image pages of its
// own: the bytes below `written` are image already, those below `end` are about to be, and the
// text below `read` will not be looked at again. Returns how far the image's pages are its own
// now; it is not told again until the image grows past that.
class ImageOutput {
  public:
    virtual ~ImageOutput() = default;
    virtual std::size_t BeforeWrite(std::size_t end, std::size_t written, std::size_t read) = 0;
};

struct ConvertedImage {
    std::uint32_t baseAddress = 0;
    std::uint32_t length = 0;
    std::string headerText;
};

class InPlaceConverter {
  public:
    static constexpr std::size_t kMaxHeaderText = 79;

    // buffer holds the whole text in its first textSize bytes and has room for one byte more,
    // where a zero is placed. On success the image is the first `length` bytes of buffer; on
    // failure the messages have gone to sink and the buffer holds nothing of use.
    static std::optional<ConvertedImage> Convert(std::span<std::uint8_t> buffer,
                                                 std::size_t textSize, MessageSink& sink,
                                                 ImageOutput* output = nullptr);

  private:
    enum class Step { Next, Fail };

    InPlaceConverter(std::span<std::uint8_t> buffer, std::size_t textSize, MessageSink& sink,
                     ImageOutput* output);

    std::optional<ConvertedImage> Run();
    // Where the scan starts: after the header line, whose text goes to headerText.
    std::size_t ReadHeader(std::string& headerText);
    // The offset of the next 'S' at or after from, or nothing at the end of the text.
    std::optional<std::size_t> FindS(std::size_t from);
    Step Record(std::size_t at, SRecordType type, std::size_t& resume);
    Step Refuse(std::size_t at, std::string_view text);

    // Whether [0, end) is all text, free of the zero byte that ends it.
    bool InText(std::size_t end) {
        while (clean_ < end) {
            if (ended_) return false;
            Extend();
        }
        return true;
    }
    // Moves clean_ on by one stretch, or to the zero that ends the text.
    void Extend();

    std::uint8_t* text_ = nullptr;
    MessageSink* sink_ = nullptr;
    ImageOutput* pages_ = nullptr;
    // Told of image bytes going past ownUpTo_ (the image pages below it are its own already).
    std::size_t ownUpTo_ = 0;
    // The zero after the text stands at text_[textSize_]; [0, clean_) is known to hold no zero
    // byte. Once ended_, the text ends at clean_.
    std::size_t textSize_ = 0;
    std::size_t clean_ = 0;
    bool ended_ = false;

    bool haveData_ = false;
    std::size_t output_ = 0;
    std::uint32_t nextAddress_ = 0;
    std::uint32_t baseAddress_ = 0;
};

}  // namespace omblor::image
