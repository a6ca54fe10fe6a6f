// The settings' registry calls on Windows are the system's own, on its machine-wide hive.
#include "app/Registry.h"

#include <windows.h>

#include <cstdint>

namespace omblor::app {

namespace {
// The predefined keys are 32-bit values that the system's headers sign-extend to pointer size
// (0xFFFFFFFF80000002 on 64-bit Windows); ours are written unsigned, so they are widened the same
// way. Handles the system gave us pass unchanged.
::HKEY Native(HKEY key) {
    if (key >> 31 == 1) {
        return reinterpret_cast<::HKEY>(static_cast<LONG_PTR>(static_cast<std::int32_t>(key)));
    }
    return reinterpret_cast<::HKEY>(key);
}

// The 32-bit and the 64-bit build keep their settings in one place, the 32-bit view (under
// WOW6432Node on 64-bit Windows), so an operator who changes build keeps the address and folder.
REGSAM SharedView(REGSAM desired) {
    return desired | KEY_WOW64_32KEY;
}
}  // namespace

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM desired, const void* security, HKEY* result, DWORD* disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    const LONG rc =
        ::RegCreateKeyExA(Native(key), subKey, reserved, keyClass, options, SharedView(desired),
                          static_cast<LPSECURITY_ATTRIBUTES>(const_cast<void*>(security)), &opened,
                          reinterpret_cast<LPDWORD>(disposition));
    if (rc == ERROR_SUCCESS) *result = reinterpret_cast<HKEY>(opened);
    return rc;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    const LONG rc = ::RegOpenKeyExA(Native(key), subKey, options, SharedView(desired), &opened);
    if (rc == ERROR_SUCCESS) *result = reinterpret_cast<HKEY>(opened);
    return rc;
}

LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize) {
    // DWORD is 32 bits on both sides; only the spelling of the type differs.
    return ::RegQueryValueExA(Native(key), valueName, reinterpret_cast<LPDWORD>(reserved),
                              reinterpret_cast<LPDWORD>(type), data,
                              reinterpret_cast<LPDWORD>(dataSize));
}

LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize) {
    return ::RegSetValueExA(Native(key), valueName, reserved, type, data, dataSize);
}

LONG RegCloseKey(HKEY key) {
    return ::RegCloseKey(Native(key));
}

}  // namespace omblor::app
