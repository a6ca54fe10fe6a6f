// The one buffer of the application-file reader: the file mapped privately, so the text is read
// where the page cache holds it, never copied or zeroed first. Just ahead of the image being
// built over the text, whole pages of text already read are swapped for private pages of the
// buffer's own, in stretches, and at the end the rest of the text is let go: the image then
// lives in memory of its own, out of reach of whatever later happens to the file. The file
// itself is never written. It is not a general byte container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "image/InPlaceConverter.h"

namespace omblor::image {

class ImageBuffer final : public ImageOutput {
  public:
    ImageBuffer() = default;
    ImageBuffer(ImageBuffer&& other) noexcept;
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer() override;

    // The first size bytes of the open file fd, then at least one zero byte: size() is size + 1.
    // Nothing when the mapping is refused (address space, memory).
    static std::optional<ImageBuffer> MapFile(int fd, std::size_t size);

    // The image is the first length bytes: they get pages of their own, the rest is let go.
    void Keep(std::size_t length);

    // False when the text could not be read whole: the file shrank while it was being read (its
    // missing part then reads as zeros), or reading it failed. Asked after Keep.
    [[nodiscard]] bool ReadWhole() const { return !incomplete_; }

    [[nodiscard]] std::uint8_t* data() { return data_; }
    [[nodiscard]] const std::uint8_t* data() const { return data_; }
    [[nodiscard]] std::size_t size() const { return size_; }

    std::size_t BeforeWrite(std::size_t end, std::size_t written, std::size_t read) override;

  private:
    void Release();
    // The platform's half of Release: gives the memory back.
    static void FreeMemory(std::uint8_t* data, std::size_t mapped);
    // Puts pages of the buffer's own over [from, to) (whole pages), keeping the bytes below
    // keepBelow, and moves owned_ along. Where the system refuses, the file's pages stay.
    void Own(std::size_t from, std::size_t to, std::size_t keepBelow);

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    // Bytes mapped at data_, whole pages; the first owned_ of them are the buffer's own.
    std::size_t mapped_ = 0;
    std::size_t owned_ = 0;
    bool incomplete_ = false;
};

}  // namespace omblor::image
