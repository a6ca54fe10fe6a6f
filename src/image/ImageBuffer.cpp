#include "image/ImageBuffer.h"

#include <sys/mman.h>

#include <cstdlib>
#include <utility>

namespace omblor::image {

namespace {
constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Below this a mapping gains nothing, and heap memory keeps AddressSanitizer's view exact.
constexpr std::size_t kMapThreshold = kHugePage;

std::size_t RoundUp(std::size_t value, std::size_t unit) {
    return (value + unit - 1) / unit * unit;
}
}  // namespace

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
    if (data_ == nullptr) return;
    if (mapped_ != 0) {
        ::munmap(data_, mapped_);
    } else {
        std::free(data_);  // NOLINT(cppcoreguidelines-no-malloc): pairs with Allocate's malloc
    }
    data_ = nullptr;
    size_ = 0;
    mapped_ = 0;
}

std::optional<ImageBuffer> ImageBuffer::Allocate(std::size_t size) {
    ImageBuffer buffer;
    if (size < kMapThreshold) {
        // malloc rather than new: a refusal is an ordinary answer here, not an exception.
        void* memory = std::malloc(size == 0 ? 1 : size);  // NOLINT(cppcoreguidelines-no-malloc)
        if (memory == nullptr) return std::nullopt;
        buffer.data_ = static_cast<std::uint8_t*>(memory);
        buffer.size_ = size;
        return buffer;
    }
    if (size > SIZE_MAX - 2 * kHugePage) return std::nullopt;
    // Map one huge page more than needed so the buffer can start on a huge-page boundary, then
    // hand the unused ends back.
    const std::size_t length = RoundUp(size, kHugePage);
    const std::size_t reserve = length + kHugePage;
    void* map =
        ::mmap(nullptr, reserve, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED) return std::nullopt;
    auto* raw = static_cast<std::uint8_t*>(map);
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    auto* start = raw + (RoundUp(address, kHugePage) - address);
    if (start != raw) ::munmap(raw, static_cast<std::size_t>(start - raw));
    auto* end = start + length;
    if (end != raw + reserve) ::munmap(end, static_cast<std::size_t>(raw + reserve - end));
#ifdef MADV_HUGEPAGE
    // Advice only: without huge pages the buffer works the same, just fills more slowly.
    ::madvise(start, length, MADV_HUGEPAGE);
#endif
    buffer.data_ = start;
    buffer.size_ = size;
    buffer.mapped_ = length;
    return buffer;
}

}  // namespace omblor::image
