#include "platform/WriteAll.h"

#include <unistd.h>

#include <cerrno>

namespace omblor::platform {

bool WriteAll(int fd, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        // Plain descriptors (stdout, stderr, files) do not go through the socket calls, which
        // retry interrupted calls themselves, so this loop retries its own.
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace omblor::platform
