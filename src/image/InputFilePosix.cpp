#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "image/InputFile.h"

namespace omblor::image {

std::optional<InputFile> InputFile::Open(const std::string& name) {
    // Non-blocking so that a named pipe cannot hold the open; only regular files are read.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    return InputFile(fd, static_cast<std::uint64_t>(info.st_size));
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), size_(other.size_), left_(other.left_) {}

InputFile::~InputFile() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

std::optional<std::size_t> InputFile::Read(std::uint8_t* into, std::size_t room) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(room, left_));
    if (want == 0) return 0;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle_), into, want);
        if (n >= 0) {
            left_ -= static_cast<std::size_t>(n);
            return static_cast<std::size_t>(n);  // 0 when the file shrank meanwhile
        }
        if (errno != EINTR) return std::nullopt;
    }
}

}  // namespace omblor::image
