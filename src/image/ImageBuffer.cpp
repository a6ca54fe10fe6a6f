// What both platforms' buffers share: moving and releasing. The platform files make the buffer
// (ImageBufferPosix.cpp: a private mapping of the file; ImageBufferWin32.cpp: VirtualAlloc).
#include "image/ImageBuffer.h"

#include <utility>

namespace omblor::image {

ImageBuffer::ImageBuffer(ImageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)),
      owned_(std::exchange(other.owned_, 0)),
      incomplete_(std::exchange(other.incomplete_, false)) {}

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
        owned_ = std::exchange(other.owned_, 0);
        incomplete_ = std::exchange(other.incomplete_, false);
    }
    return *this;
}

ImageBuffer::~ImageBuffer() {
    Release();
}

void ImageBuffer::Release() {
    if (data_ != nullptr) FreeMemory(data_, mapped_);
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
    owned_ = 0;
    incomplete_ = false;
}

}  // namespace omblor::image
