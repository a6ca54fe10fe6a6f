// An application file opened for reading with the platform's own calls (InputFilePosix.cpp,
// InputFileWin32.cpp): binary, regular files only, never waiting on a pipe or a device. It hands
// out its text a stretch at a time, never more than the size it had when opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "image/TextSource.h"

namespace omblor::image {

class InputFile final : public TextSource {
  public:
    // Nothing when the file cannot be opened or is not a regular file.
    static std::optional<InputFile> Open(const std::string& name);

    InputFile(InputFile&& other) noexcept;
    InputFile& operator=(InputFile&&) = delete;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() override;

    [[nodiscard]] std::uint64_t Size() const { return size_; }
    std::optional<std::size_t> Read(std::uint8_t* into, std::size_t room) override;

  private:
    InputFile(std::intptr_t handle, std::uint64_t size)
        : handle_(handle), size_(size), left_(size) {}

    std::intptr_t handle_ = -1;  // a descriptor or a HANDLE, -1 for none
    std::uint64_t size_ = 0;
    std::uint64_t left_ = 0;
};

}  // namespace omblor::image
