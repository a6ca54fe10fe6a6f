// The one buffer of the application-file reader: the file mapped privately (copy-on-write), so
// the text is read where the page cache holds it, never copied or zeroed first, and only the
// pages the image is written over get private copies. The file itself is never written. It is
// not a general byte container.
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

    // The first size bytes of the open file fd, then at least one zero byte: size() is size + 1.
    // Nothing when the mapping is refused (address space, memory).
    static std::optional<ImageBuffer> MapFile(int fd, std::size_t size);

    [[nodiscard]] std::uint8_t* data() { return data_; }
    [[nodiscard]] const std::uint8_t* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }

  private:
    void Release();

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    // Bytes mapped at data_, whole pages.
    std::size_t mapped_ = 0;
};

}  // namespace omblor::image
