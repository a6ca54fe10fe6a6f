#include "image/AppImageReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <utility>

#include "image/Hex.h"
#include "image/InPlaceConverter.h"
#include "image/ReaderMessages.h"
#include "image/TextSource.h"

namespace omblor::image {

namespace {
// Lengths are 32-bit, and the image can grow to about the size of the text; refusing larger
// text keeps every length exact.
constexpr std::uint64_t kMaxFileSize = std::numeric_limits<std::uint32_t>::max() - 1;

class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (fd_ >= 0) ::close(fd_);
    }
    [[nodiscard]] int get() const { return fd_; }

  private:
    int fd_ = -1;
};

// The file's text, a stretch at a time, never more than the size it had when opened.
class FileText final : public TextSource {
  public:
    FileText(int fd, std::size_t size) : fd_(fd), left_(size) {}

    std::optional<std::size_t> Read(std::uint8_t* into, std::size_t room) override {
        const std::size_t want = std::min(room, left_);
        if (want == 0) return 0;
        for (;;) {
            const ssize_t n = ::read(fd_, into, want);
            if (n >= 0) {
                left_ -= static_cast<std::size_t>(n);
                return static_cast<std::size_t>(n);  // 0 when the file shrank meanwhile
            }
            if (errno != EINTR) return std::nullopt;
        }
    }

  private:
    int fd_ = -1;
    std::size_t left_ = 0;
};
}  // namespace

void ConvertSlashPath(std::string& path) {
    if (path.size() < 4 || path[0] != '/' || path[1] != '/' || path[3] != '/') return;
    path[0] = path[2];
    path[1] = ':';
    for (std::size_t i = 3; i < path.size(); ++i) path[i - 1] = path[i] == '/' ? '\\' : path[i];
    path.pop_back();
}

void ShowChecksumError(std::uint8_t sum, MessageSink& sink) {
    std::array<char, 32> text{};
    constexpr std::string_view prefix = messages::kChecksumErrorPrefix;
    std::copy(prefix.begin(), prefix.end(), text.begin());
    auto* end =
        std::to_chars(text.data() + prefix.size(), text.data() + text.size() - 1, sum, 16).ptr;
    *end++ = '\n';
    sink.Show(std::string_view(text.data(), static_cast<std::size_t>(end - text.data())));
}

bool VerifyRecordChecksum(std::string_view record, MessageSink& sink) {
    const auto* text = reinterpret_cast<const std::uint8_t*>(record.data());
    if (record.size() < 4) {
        sink.Show(messages::kRecordCutShort);
        return false;
    }
    const std::uint8_t count = HexByte(text[2], text[3]);
    if (record.size() < 4 + 2 * std::size_t{count}) {
        sink.Show(messages::kRecordCutShort);
        return false;
    }
    const auto sum = static_cast<std::uint8_t>(count + SumHex(text + 4, count));
    if (sum == 0xFF) return true;
    ShowChecksumError(sum, sink);
    return false;
}

std::optional<AppImage> LoadAppImage(std::string_view path, MessageSink& sink) {
    // A zero inside the path would open some other, shorter name.
    if (path.size() > kMaxPathLength || path.find('\0') != std::string_view::npos) {
        sink.OnOpenFailed(path, path.size() > kMaxPathLength ? "the path is too long"
                                                             : "the path holds a zero byte");
        sink.Show(messages::kFailedToOpen);
        return std::nullopt;
    }
    std::string name(path);
    ConvertSlashPath(name);

    // Non-blocking so that a named pipe cannot hold the open; only regular files are read.
    const FileHandle file(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    const int openError = errno;
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        sink.OnOpenFailed(name, file.get() < 0          ? std::strerror(openError)
                                : S_ISDIR(info.st_mode) ? "it is a folder"
                                                        : "not a regular file");
        sink.Show(messages::kFailedToOpen);
        return std::nullopt;
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kMaxFileSize) {
        sink.Show(messages::kFileTooLarge);
        return std::nullopt;
    }
    auto buffer = ImageBuffer::Allocate(static_cast<std::size_t>(size) + 1);
    if (!buffer) {
        sink.Show(messages::kOutOfMemory);
        return std::nullopt;
    }
    FileText text(file.get(), static_cast<std::size_t>(size));
    auto converted =
        InPlaceConverter::Convert(std::span(buffer->data(), buffer->size()), text, sink);
    if (!converted) return std::nullopt;

    AppImage image;
    image.buffer = std::move(*buffer);
    image.baseAddress = converted->baseAddress;
    image.length = converted->length;
    image.headerText = std::move(converted->headerText);
    return image;
}

}  // namespace omblor::image
