// Whether a file that holds a secret can be read by others than its owner, so the tool can warn
// about a password file as ssh does about a key. Only the POSIX mode bits are looked at; on
// Windows, whose access lists the bits cannot summarize, it says nothing.
#pragma once

#include <string>

namespace omblor::ctl {

// True when the group or the world may read the file at `path`; false when they may not or the
// file cannot be looked at.
bool ReadableByOthers(const std::string& path);

}  // namespace omblor::ctl
