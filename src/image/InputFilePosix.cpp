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
    platform::UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.Valid()) {
        file.reason_ = std::strerror(errno);
        return file;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        file.reason_ = S_ISDIR(info.st_mode) ? "it is a folder" : "not a regular file";
        return file;
    }
    file.fd_ = std::move(fd);
    file.size_ = static_cast<std::uint64_t>(info.st_size);
    return file;
}

}  // namespace omblor::image
