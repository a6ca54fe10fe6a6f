#include <windows.h>

#include <limits>

#include "AppendFile.h"
#include "platform/Win32Handle.h"

namespace omblor::ctl {

namespace {

std::string SystemText(DWORD error) {
    char text[256] = {};
    const DWORD length =
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                         0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' ||
                               reason.back() == ' ' || reason.back() == '.'))
        reason.pop_back();
    return reason.empty() ? "error " + std::to_string(error) : reason;
}

}  // namespace

struct AppendFile::Handle {
    platform::UniqueHandle file;
};

AppendFile::AppendFile(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
AppendFile::AppendFile(AppendFile&&) noexcept = default;
AppendFile& AppendFile::operator=(AppendFile&&) noexcept = default;
AppendFile::~AppendFile() = default;

std::variant<AppendFile, std::string> AppendFile::Open(const std::string& path) {
    // Append data only: every write goes to the end of the file as it is then, whoever else
    // appends; others may read, append and rename meanwhile.
    platform::UniqueHandle file = platform::AdoptHandle(::CreateFileA(
        path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return SystemText(::GetLastError());
    return AppendFile(std::make_unique<Handle>(Handle{std::move(file)}));
}

bool AppendFile::AppendDurably(std::string_view line, std::string& error) {
    if (line.size() > std::numeric_limits<DWORD>::max()) {
        error = "line too long";
        return false;
    }
    DWORD written = 0;
    if (::WriteFile(handle_->file.get(), line.data(), static_cast<DWORD>(line.size()), &written,
                    nullptr) == 0) {
        error = SystemText(::GetLastError());
        return false;
    }
    if (written != line.size()) {
        error = "short write";
        return false;
    }
    // A log on a pipe or a console has no disk to reach.
    if (::FlushFileBuffers(handle_->file.get()) == 0 &&
        ::GetFileType(handle_->file.get()) == FILE_TYPE_DISK) {
        error = SystemText(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace omblor::ctl
