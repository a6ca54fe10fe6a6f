// Writes a whole file so that a reader sees either the old file or the new one whole: the bytes
// go to a new file beside it, which is then renamed over it. A path that names something other
// than a regular file (a device, a pipe, a symbolic link) is written through as it is, since
// renaming over it would replace the thing itself.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace omblor::platform {

enum class FileKind {
    Settings,  // for their owner only, and on the disk before the rename
    Output,    // a file the user asked for: the umask decides who may read it, and the system
               // when it reaches the disk (a caller reading it back sees it whole either way)
};

// False when the file could not be written; errno says why.
bool WriteFileReplacing(const std::string& path, std::span<const std::byte> bytes, FileKind kind);

}  // namespace omblor::platform
