#include <windows.h>

#include <utility>

#include "image/ImageBuffer.h"

namespace omblor::image {

// One VirtualAlloc'd block: committed, zero-filled, released whole.

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
    if (data_ != nullptr) ::VirtualFree(data_, 0, MEM_RELEASE);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

std::optional<ImageBuffer> ImageBuffer::Allocate(std::size_t size) {
    const std::size_t length = size == 0 ? 1 : size;
    void* memory = ::VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (memory == nullptr) return std::nullopt;
    ImageBuffer buffer;
    buffer.data_ = static_cast<std::uint8_t*>(memory);
    buffer.size_ = size;
    buffer.mapped_ = length;
    return buffer;
}

}  // namespace omblor::image
