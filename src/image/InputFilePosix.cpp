#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "image/InputFile.h"

namespace omblor::image {

InputFile InputFile::Open(const std::string& name) {
    InputFile file;
    // Non-blocking so that a named pipe cannot hold the open; only regular files are read.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        file.reason_ = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        file.reason_ = S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file";
        ::close(fd);
        return file;
    }
    file.fd_ = fd;
    file.size_ = static_cast<std::uint64_t>(info.st_size);
    return file;
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), reason_(std::move(other.reason_)) {}

InputFile::~InputFile() {
    if (fd_ >= 0) ::close(fd_);
}

}  // namespace omblor::image
