#include <windows.h>

#include "support/IsolatedSettings.h"

namespace omblor::testing {

// HKEY_LOCAL_MACHINE of this process becomes an empty scratch key of the user's.
bool IsolateSettings() {
    constexpr char kScratch[] = "Software\\Omblor tests\\HKLM";
    ::RegDeleteTreeA(HKEY_CURRENT_USER, kScratch);
    HKEY scratch = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kScratch, 0, nullptr, REG_OPTION_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &scratch, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool ok = ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch) == ERROR_SUCCESS;
    ::RegCloseKey(scratch);
    return ok;
}

}  // namespace omblor::testing
