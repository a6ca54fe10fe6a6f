// Owns a Windows kernel object handle (a file, a console) and closes it once. Windows only.
#pragma once

#include <windows.h>

#include <memory>

namespace omblor::platform {

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

// CreateFile fails with INVALID_HANDLE_VALUE, other calls with null: either way nothing is owned.
inline UniqueHandle AdoptHandle(HANDLE handle) {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace omblor::platform
