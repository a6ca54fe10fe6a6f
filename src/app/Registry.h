// The registry calls the settings use. On Windows they are the system's own
// (RegistryWin32.cpp). Elsewhere (RegistryPosix.cpp) they are a small stand-in for the
// machine-wide registry, with the semantics of the calls the settings use (create/open a key,
// query and set raw values with their type and size, close). The keys live in one hive file in
// the text form of registry exports, so any value, of any type and with or without its
// terminating NUL, survives a round trip byte for byte. Every call reads the file afresh and
// every change rewrites it atomically (temporary file, fsync, rename), so two programs writing at
// once leave the last one's file, never a torn one.
//
// Linux desktops give users no writable machine-wide store, so the "machine" hive is kept per
// user: the file named by OMBLOR_HKLM, else $XDG_CONFIG_HOME/Tarvik/HKLM.reg (~/.config when
// unset).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// <windows.h> defines these names as macros with the same values; the typed constants below
// take their place, whichever header came first.
#undef HKEY_LOCAL_MACHINE
#undef KEY_ALL_ACCESS
#undef REG_OPTION_NON_VOLATILE
#undef REG_NONE
#undef REG_SZ
#undef REG_BINARY
#undef REG_DWORD
#undef REG_CREATED_NEW_KEY
#undef REG_OPENED_EXISTING_KEY
#undef ERROR_SUCCESS
#undef ERROR_FILE_NOT_FOUND
#undef ERROR_ACCESS_DENIED
#undef ERROR_INVALID_HANDLE
#undef ERROR_INVALID_PARAMETER
#undef ERROR_MORE_DATA
#undef RegCreateKeyEx
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef RegSetValueEx

namespace omblor::app {

using HKEY = std::uintptr_t;
using LONG = std::int32_t;
using DWORD = std::uint32_t;
using BYTE = std::uint8_t;
using REGSAM = std::uint32_t;

inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MORE_DATA = 234;

LONG RegCreateKeyExA(HKEY key, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                     REGSAM desired, const void* security, HKEY* result, DWORD* disposition);
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result);
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);
LONG RegSetValueExA(HKEY key, const char* valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataSize);
LONG RegCloseKey(HKEY key);

// The stand-in's hive file (not on Windows): where it is, from the environment.
std::string HivePath();

// The hive file's contents, for tests and the parser's own round trip.
struct RegValue {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
struct RegKeyEntry {
    std::string path;  // e.g. "HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik\OMBLOR"
    std::vector<RegValue> values;
};
struct Hive {
    std::vector<RegKeyEntry> keys;
    bool damaged = false;  // some lines could not be read and were skipped
};

Hive ParseHive(std::string_view text);
std::string FormatHive(const Hive& hive);

}  // namespace omblor::app
