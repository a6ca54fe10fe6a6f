// The one buffer of the application-file reader: it receives the file text and then the image
// built in place over it. Large buffers are mapped privately and asked for huge pages, because
// faulting in a 4 KiB page at a time costs more than decoding the text. It is not a general
// byte container: its contents are uninitialised until written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace omblor::image {

class ImageBuffer {
  public:
    ImageBuffer() = default;
    ImageBuffer(ImageBuffer&& other) noexcept;
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer();

    // Nothing when the memory is not granted.
    static std::optional<ImageBuffer> Allocate(std::size_t size);

    [[nodiscard]] std::uint8_t* data() { return data_; }
    [[nodiscard]] const std::uint8_t* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }

  private:
    void Release();

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    // Non-zero when data_ is the start of a private mapping of this many bytes.
    std::size_t mapped_ = 0;
};

}  // namespace omblor::image
