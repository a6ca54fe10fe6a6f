// Writes a whole buffer to a file descriptor, going on after short writes and interrupted calls.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace omblor::platform {

// False on the first failing write (errno tells why); a zero-byte write counts as failing.
bool WriteAll(int fd, std::span<const std::byte> bytes);

inline bool WriteAll(int fd, std::string_view text) {
    return WriteAll(fd, std::as_bytes(std::span(text)));
}

}  // namespace omblor::platform
