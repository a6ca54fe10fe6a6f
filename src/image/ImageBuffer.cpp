#include "image/ImageBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace omblor::image {

ImageBuffer::ImageBuffer(ImageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

ImageBuffer::~ImageBuffer() {
    Release();
}

void ImageBuffer::Release() {
    if (data_ != nullptr) ::munmap(data_, mapped_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

std::optional<ImageBuffer> ImageBuffer::MapFile(int fd, std::size_t size) {
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    if (size > SIZE_MAX - 2 * page) return std::nullopt;
    ImageBuffer buffer;
    buffer.size_ = size + 1;
    buffer.mapped_ = (buffer.size_ + page - 1) / page * page;
    // Zero pages first, then the file over their start: the byte after the text then exists
    // even when the file ends exactly on a page boundary, and it reads as zero.
    void* zeros =
        ::mmap(nullptr, buffer.mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (zeros == MAP_FAILED) return std::nullopt;
    buffer.data_ = static_cast<std::uint8_t*>(zeros);
    if (size != 0 &&
        ::mmap(zeros, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, 0) == MAP_FAILED) {
        return std::nullopt;
    }
    return buffer;
}

}  // namespace omblor::image
