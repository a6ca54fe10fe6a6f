#include <windows.h>

#include <algorithm>
#include <utility>

#include "image/InputFile.h"

namespace omblor::image {

namespace {
HANDLE Native(std::intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}
}  // namespace

std::optional<InputFile> InputFile::Open(const std::string& name) {
    // Binary by nature: ReadFile translates nothing. Others may read and write meanwhile, as
    // the C library's open allows.
    HANDLE file = ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    // Pipes, consoles and devices are not application files.
    if (::GetFileType(file) != FILE_TYPE_DISK || ::GetFileSizeEx(file, &size) == 0) {
        ::CloseHandle(file);
        return std::nullopt;
    }
    return InputFile(reinterpret_cast<std::intptr_t>(file),
                     static_cast<std::uint64_t>(size.QuadPart));
}

InputFile::InputFile(InputFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), size_(other.size_), left_(other.left_) {}

InputFile::~InputFile() {
    if (handle_ != -1) ::CloseHandle(Native(handle_));
}

std::optional<std::size_t> InputFile::Read(std::uint8_t* into, std::size_t room) {
    const auto want = static_cast<DWORD>(std::min<std::uint64_t>({room, left_, 0x40000000}));
    if (want == 0) return 0;
    DWORD got = 0;
    if (::ReadFile(Native(handle_), into, want, &got, nullptr) == 0) return std::nullopt;
    left_ -= got;
    return static_cast<std::size_t>(got);  // 0 when the file shrank meanwhile
}

}  // namespace omblor::image
