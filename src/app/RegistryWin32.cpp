// The settings' registry calls on Windows are the system's own, on its machine-wide hive.
#include "app/Registry.h"

#include <windows.h>

namespace omblor::app {

namespace {
::HKEY Native(HKEY key) {
    return reinterpret_cast<::HKEY>(key);
}
}  // namespace

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM desired, const void* security, HKEY* result, DWORD* disposition) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    const LONG rc =
        ::RegCreateKeyExA(Native(key), subKey, reserved, keyClass, options, desired,
                          static_cast<LPSECURITY_ATTRIBUTES>(const_cast<void*>(security)), &opened,
                          reinterpret_cast<LPDWORD>(disposition));
    if (rc == ERROR_SUCCESS) *result = reinterpret_cast<HKEY>(opened);
    return rc;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    ::HKEY opened = nullptr;
    const LONG rc = ::RegOpenKeyExA(Native(key), subKey, options, desired, &opened);
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
