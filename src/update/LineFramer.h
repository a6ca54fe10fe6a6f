// Frames a module's byte stream into lines, one byte at a time, in the 256-byte line buffer: a
// line ends at the first CR immediately followed by LF, at most 254 characters of text before
// it. It never writes past its buffer; a longer line is reported instead.
#pragma once

#include <array>
#include <cstddef>

namespace omblor::update {

class LineFramer {
  public:
    static constexpr std::size_t kBufferSize = 256;

    enum class Result { NeedMore, Line, TooLong };

    // Takes one byte. On Line, Text() is the line's text, zero-terminated where its CR stood;
    // call Reset() once the line has been handled. After TooLong the rest of that line, up to
    // its CR LF, is dropped.
    Result Push(char byte);
    void Reset() { fill_ = 0; }

    [[nodiscard]] char* Text() { return buffer_.data(); }
    [[nodiscard]] std::size_t Fill() const { return fill_; }

  private:
    std::array<char, kBufferSize> buffer_{};
    std::size_t fill_ = 0;
    bool discarding_ = false;
    bool lastWasCr_ = false;
};

}  // namespace omblor::update
