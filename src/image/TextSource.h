// Where the in-place converter gets its text when it is not all in the buffer from the start:
// the file, read a stretch at a time just ahead of the scan so that the text is still in the
// cache when it is decoded. It only ever appends to the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace omblor::image {

class TextSource {
  public:
    virtual ~TextSource() = default;

    // Reads at most room bytes into into. 0 at the end of the text, nothing on an error.
    virtual std::optional<std::size_t> Read(std::uint8_t* into, std::size_t room) = 0;
};

}  // namespace omblor::image
