#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "AppendFile.h"
#include "platform/UniqueFd.h"

namespace omblor::ctl {

struct AppendFile::Handle {
    platform::UniqueFd fd;
};

AppendFile::AppendFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
AppendFile::AppendFile(AppendFile&&) noexcept = default;
AppendFile& AppendFile::operator=(AppendFile&&) noexcept = default;
AppendFile::~AppendFile() = default;

std::variant<AppendFile, std::string> AppendFile::Open(const std::string& path) {
    platform::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.Valid()) return std::string(std::strerror(errno));
    return AppendFile(std::make_unique<Handle>(Handle{std::move(fd)}));
}

bool AppendFile::AppendDurably(std::string_view line, std::string& error) {
    const int fd = handle_->fd.Get();
    ssize_t written = 0;
    do {
        written = ::write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        error = std::strerror(errno);
        return false;
    }
    // A regular file takes the whole line at once; less means a full disk.
    if (static_cast<std::size_t>(written) != line.size()) {
        error = "short write";
        return false;
    }
    // A log on a pipe or a terminal has no disk to reach.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace omblor::ctl
