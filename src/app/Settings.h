// The two values that survive from one run to the next: the last module address and the full
// path of the last file chosen through Browse, under HKEY_LOCAL_MACHINE "SOFTWARE\Tarvik\OMBLOR\"
// subkey "Settings". Nothing is cached and every failure is silent: a read falls back to its
// default and a write is dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/Registry.h"

namespace omblor::app {

inline constexpr const char* kSettingsRootPath = "SOFTWARE\\Tarvik\\OMBLOR\\";
inline constexpr const char* kSettingsSubkey = "Settings";

std::uint32_t LoadIpAddrSetting();
void SaveIpAddrSetting(std::uint32_t address);
std::string LoadFileDirSetting();
void SaveFileDirSetting(std::string_view path);

// Generic pieces the four above are made of.
std::optional<HKEY> OpenSettingsRoot();
DWORD ReadDwordValue(std::optional<HKEY> parent, const char* subkey, const char* valueName,
                     DWORD defaultValue);
std::string ReadStringValue(std::optional<HKEY> parent, const char* subkey, const char* valueName,
                            std::string_view defaultValue);
void WriteStringValue(std::optional<HKEY> parent, const char* subkey, const char* valueName,
                      std::string_view text);

}  // namespace omblor::app
