#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <utility>

#include "image/InputFile.h"
#include "platform/Win32Handle.h"

namespace omblor::image {

InputFile InputFile::Open(const std::string& name) {
    InputFile file;
    // Others may read and write meanwhile, as the C library's open allows.
    platform::UniqueHandle handle = platform::AdoptHandle(
        ::CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) {
        const DWORD error = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesA(name.c_str());
        file.reason_ =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                ? "it is a folder"
            : error == ERROR_ACCESS_DENIED ? "Permission denied"
                                           : "No such file or directory";
        return file;
    }
    LARGE_INTEGER size{};
    // Pipes, consoles and devices are not application files.
    if (::GetFileType(handle.get()) != FILE_TYPE_DISK ||
        ::GetFileSizeEx(handle.get(), &size) == 0) {
        file.reason_ = "not a regular file";
        return file;
    }
    // Binary: the descriptor only hands the handle on; ReadFile translates nothing.
    const int fd =
        ::_open_osfhandle(reinterpret_cast<intptr_t>(handle.get()), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        file.reason_ = "Too many open files";
        return file;
    }
    handle.release();  // the descriptor owns it now
    file.fd_.Reset(fd);
    file.size_ = static_cast<std::uint64_t>(size.QuadPart);
    return file;
}

}  // namespace omblor::image
