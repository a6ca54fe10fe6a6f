#include <windows.h>

#include <io.h>

#include <algorithm>
#include <limits>
#include <utility>

#include "image/ImageBuffer.h"

namespace omblor::image {

// One VirtualAlloc'd block of file size + 1 bytes: committed, zero-filled, the file read into
// it whole, released whole. Every page is the buffer's own from the start, so there is nothing
// to swap as the image grows.

void ImageBuffer::FreeMemory(std::uint8_t* data, std::size_t /*mapped*/) {
    ::VirtualFree(data, 0, MEM_RELEASE);
}

std::optional<ImageBuffer> ImageBuffer::MapFile(int fd, std::size_t size) {
    if (size == std::numeric_limits<std::size_t>::max()) return std::nullopt;
    auto* memory = static_cast<std::uint8_t*>(
        ::VirtualAlloc(nullptr, size + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (memory == nullptr) return std::nullopt;
    ImageBuffer buffer;
    buffer.data_ = memory;
    buffer.size_ = size + 1;
    buffer.mapped_ = size + 1;
    buffer.owned_ = size + 1;
    // The whole text, or as much as the file still has (it may have shrunk since it was
    // measured, or a read may fail); the bytes after it stay zero.
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    std::size_t filled = 0;
    while (filled < size) {
        const auto want = static_cast<DWORD>(std::min<std::size_t>(size - filled, 1U << 30));
        DWORD got = 0;
        if (::ReadFile(handle, memory + filled, want, &got, nullptr) == 0 || got == 0) break;
        filled += got;
    }
    buffer.incomplete_ = filled < size;
    return buffer;
}

std::size_t ImageBuffer::BeforeWrite(std::size_t /*end*/, std::size_t /*written*/,
                                     std::size_t /*read*/) {
    return owned_;
}

void ImageBuffer::Keep(std::size_t length) {
    size_ = length;
}

void ImageBuffer::Own(std::size_t /*from*/, std::size_t /*to*/, std::size_t /*keepBelow*/) {}

}  // namespace omblor::image
