#include "image/ImageBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace omblor::image {

namespace {
// Pages are made the buffer's own this much at a time: few calls, and never far ahead of the
// image, whose final length is not known until the end.
constexpr std::size_t kOwnStretch = std::size_t{1} << 20;

std::size_t PageSize() {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

std::size_t PageUp(std::size_t offset) {
    return (offset + PageSize() - 1) / PageSize() * PageSize();
}
}  // namespace

void ImageBuffer::FreeMemory(std::uint8_t* data, std::size_t mapped) {
    ::munmap(data, mapped);
}

std::optional<ImageBuffer> ImageBuffer::MapFile(int fd, std::size_t size) {
    if (size > SIZE_MAX - 2 * PageSize()) return std::nullopt;
    ImageBuffer buffer;
    buffer.size_ = size + 1;
    buffer.mapped_ = PageUp(buffer.size_);
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

void ImageBuffer::Own(std::size_t from, std::size_t to, std::size_t keepBelow) {
    for (std::size_t at = from; at < to; at += kOwnStretch) {
        const std::size_t stop = std::min(to, at + kOwnStretch);
        // Usually nothing is kept: the image stays behind the pages made its own.
        const std::size_t keep = std::clamp(keepBelow, at, stop) - at;
        const std::unique_ptr<std::uint8_t[]> kept(new (std::nothrow) std::uint8_t[keep]);
        if (kept == nullptr) return;
        std::memcpy(kept.get(), data_ + at, keep);
        if (::mmap(data_ + at, stop - at, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) {
            return;
        }
        std::memcpy(data_ + at, kept.get(), keep);
        owned_ = stop;
    }
}

std::size_t ImageBuffer::BeforeWrite(std::size_t end, std::size_t written, std::size_t read) {
    // Only pages whose text has all been read may be swapped.
    const std::size_t to =
        std::min(std::max(PageUp(end), owned_ + kOwnStretch), read / PageSize() * PageSize());
    if (to > owned_) Own(owned_, to, written);
    return owned_;
}

void ImageBuffer::Keep(std::size_t length) {
    // At least one page, so that data() stays a valid pointer for an empty image.
    const std::size_t end = std::max(PageUp(length), PageSize());
    if (end > owned_) Own(owned_, end, length);
    if (end < mapped_) ::munmap(data_ + end, mapped_ - end);
    mapped_ = end;
    size_ = length;
}

}  // namespace omblor::image
