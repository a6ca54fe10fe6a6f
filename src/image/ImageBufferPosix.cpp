#include "image/ImageBuffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
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

// A file that shrinks while it is mapped makes its pages past the new end fault (SIGBUS) when
// they are touched, and so may a read error. While a buffer still maps its file, such a fault
// gets a zero page put in its place and marks the buffer: the text then ends there, as a read of
// the file would have found it, and the reader refuses the file instead of the process dying.
struct GuardedRange {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> faulted{false};
};
static_assert(std::atomic<std::uintptr_t>::is_always_lock_free);
std::array<GuardedRange, 16> g_guarded;  // more buffers at once go unguarded
struct sigaction g_previous {};
std::atomic<bool> g_installed{false};
std::atomic<std::uintptr_t> g_pageSize{0};

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    const std::uintptr_t page = g_pageSize.load();
    for (GuardedRange& range : g_guarded) {
        if (at < range.begin.load() || at >= range.end.load()) continue;
        if (::mmap(reinterpret_cast<void*>(at & ~(page - 1)), page, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            range.faulted.store(true);
            return;  // the access is made again, on the zero page
        }
    }
    // Not ours: whoever had the signal before, or the default once the fault comes again.
    if ((g_previous.sa_flags & SA_SIGINFO) != 0 && g_previous.sa_sigaction != nullptr) {
        g_previous.sa_sigaction(signal, info, context);
        return;
    }
    ::sigaction(SIGBUS, &g_previous, nullptr);
    g_installed.store(false);
}

void Guard(const std::uint8_t* data, std::size_t length) {
    if (!g_installed.exchange(true)) {
        g_pageSize.store(PageSize());
        struct sigaction action {};
        action.sa_sigaction = &OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        if (::sigaction(SIGBUS, &action, &g_previous) != 0) {
            g_installed.store(false);
            return;
        }
    }
    for (GuardedRange& range : g_guarded) {
        if (range.end.load() != 0) continue;
        range.faulted.store(false);
        range.begin.store(reinterpret_cast<std::uintptr_t>(data));
        range.end.store(reinterpret_cast<std::uintptr_t>(data) + length);
        return;
    }
}

// Ends the guard of the buffer at `data`; true when a fault was caught for it.
bool Unguard(const std::uint8_t* data) {
    for (GuardedRange& range : g_guarded) {
        if (range.end.load() == 0 || range.begin.load() != reinterpret_cast<std::uintptr_t>(data)) {
            continue;
        }
        range.end.store(0);
        range.begin.store(0);
        return range.faulted.exchange(false);
    }
    return false;
}
}  // namespace

void ImageBuffer::FreeMemory(std::uint8_t* data, std::size_t mapped) {
    Unguard(data);
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
    if (size != 0) Guard(buffer.data_, buffer.mapped_);
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
    // Every page left is the buffer's own now.
    if (Unguard(data_)) incomplete_ = true;
}

}  // namespace omblor::image
