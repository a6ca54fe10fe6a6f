#include <windows.h>

#include <cerrno>
#include <string>

#include "platform/ReplaceFile.h"
#include "platform/Win32Handle.h"

namespace omblor::platform {

namespace {

UniqueHandle Open(const std::string& path, DWORD access, DWORD disposition) {
    return AdoptHandle(::CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The caller reports errno, as it does on every platform.
void SetErrnoFromLastError() {
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        default:
            errno = EIO;
            break;
    }
}

bool WriteAllTo(HANDLE file, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const DWORD chunk =
            bytes.size() > (1U << 30) ? (1U << 30) : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (::WriteFile(file, bytes.data(), chunk, &written, nullptr) == FALSE || written == 0) {
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

}  // namespace

// Who may read the file is the folder's inherited access list here, whatever its kind.
bool WriteFileReplacing(const std::string& path, std::span<const std::byte> bytes, FileKind kind) {
    if (const UniqueHandle existing = Open(path, 0, OPEN_EXISTING);
        existing && ::GetFileType(existing.get()) != FILE_TYPE_DISK) {
        const UniqueHandle device = Open(path, GENERIC_WRITE, OPEN_EXISTING);
        if (device && WriteAllTo(device.get(), bytes)) return true;
        SetErrnoFromLastError();
        return false;
    }
    std::string temporary;
    UniqueHandle file;
    for (unsigned attempt = 0; !file && attempt < 100; ++attempt) {
        temporary =
            path + ".tmp" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt);
        file = Open(temporary, GENERIC_WRITE, CREATE_NEW);
        if (!file && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file) {
        SetErrnoFromLastError();
        return false;
    }
    const bool settings = kind == FileKind::Settings;
    bool ok =
        WriteAllTo(file.get(), bytes) && (!settings || ::FlushFileBuffers(file.get()) != FALSE);
    file.reset();
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (settings ? MOVEFILE_WRITE_THROUGH : 0);
    ok = ok && ::MoveFileExA(temporary.c_str(), path.c_str(), flags) != FALSE;
    if (ok) return true;
    SetErrnoFromLastError();
    const int error = errno;
    ::DeleteFileA(temporary.c_str());
    errno = error;
    return false;
}

}  // namespace omblor::platform
