#include "platform/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/UniqueFd.h"
#include "platform/WriteAll.h"

namespace omblor::platform {

bool WriteFileReplacing(const std::string& path, std::span<const std::byte> bytes, FileKind kind) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        const UniqueFd fd(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
        return fd.Valid() && WriteAll(fd.Get(), bytes);
    }
    std::string temporary = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.Valid()) return false;
    bool ok = true;
    if (kind == FileKind::Output) {
        // mkostemp makes the file for its owner only.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd.Get(), 0666 & ~mask) == 0;
    }
    ok = ok && WriteAll(fd.Get(), bytes) && (kind != FileKind::Settings || ::fsync(fd.Get()) == 0);
    ok = ::close(fd.Release()) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
}

}  // namespace omblor::platform
