// An application file opened for reading with the platform's own calls (InputFilePosix.cpp,
// InputFileWin32.cpp): binary, regular files only, never waiting on a pipe or a device. It hands
// the reader's buffer a C library descriptor and the size the file had when opened.
#pragma once

#include <cstdint>
#include <string>

#include "platform/UniqueFd.h"

namespace omblor::image {

class InputFile {
  public:
    // Check Valid(); when the file cannot be read, FailureReason() says why, for the details.
    static InputFile Open(const std::string& name);

    [[nodiscard]] bool Valid() const { return fd_.Valid(); }
    [[nodiscard]] int Fd() const { return fd_.Get(); }
    [[nodiscard]] std::uint64_t Size() const { return size_; }
    [[nodiscard]] const std::string& FailureReason() const { return reason_; }

  private:
    InputFile() = default;

    platform::UniqueFd fd_;
    std::uint64_t size_ = 0;
    std::string reason_;
};

}  // namespace omblor::image
