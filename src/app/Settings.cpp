#include "app/Settings.h"

#include <vector>

namespace omblor::app {

namespace {

void CloseIfOpen(const std::optional<HKEY>& key) {
    if (key) RegCloseKey(*key);
}

std::optional<HKEY> OpenSubkey(std::optional<HKEY> parent, const char* subkey) {
    if (!parent) return std::nullopt;
    HKEY key = 0;
    if (RegOpenKeyExA(*parent, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return key;
}

std::optional<HKEY> CreateSubkey(std::optional<HKEY> parent, const char* subkey) {
    if (!parent) return std::nullopt;
    HKEY key = 0;
    DWORD disposition = 0;
    if (RegCreateKeyExA(*parent, subkey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, &disposition) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return key;
}

}  // namespace

std::optional<HKEY> OpenSettingsRoot() {
    return CreateSubkey(HKEY_LOCAL_MACHINE, kSettingsRootPath);
}

DWORD ReadDwordValue(std::optional<HKEY> parent, const char* subkey, const char* valueName,
                     DWORD defaultValue) {
    const auto key = OpenSubkey(parent, subkey);
    if (!key) return defaultValue;
    BYTE bytes[4] = {};
    DWORD size = sizeof bytes;
    const LONG rc = RegQueryValueExA(*key, valueName, nullptr, nullptr, bytes, &size);
    RegCloseKey(*key);
    if (rc != ERROR_SUCCESS || size != 4) return defaultValue;
    return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
           static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

std::string ReadStringValue(std::optional<HKEY> parent, const char* subkey, const char* valueName,
                            std::string_view defaultValue) {
    const auto key = OpenSubkey(parent, subkey);
    if (!key) return std::string(defaultValue);
    DWORD size = 0;
    if (RegQueryValueExA(*key, valueName, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        RegCloseKey(*key);
        return std::string(defaultValue);
    }
    std::vector<BYTE> buffer(size);
    const LONG rc = RegQueryValueExA(*key, valueName, nullptr, nullptr, buffer.data(), &size);
    RegCloseKey(*key);
    if (rc != ERROR_SUCCESS) return std::string(defaultValue);
    // The text ends at the first NUL, or after the last byte when the value has none.
    std::string text;
    for (DWORD i = 0; i < size && i < buffer.size() && buffer[i] != 0; ++i) {
        text += static_cast<char>(buffer[i]);
    }
    return text;
}

void WriteStringValue(std::optional<HKEY> parent, const char* subkey, const char* valueName,
                      std::string_view text) {
    const auto key = CreateSubkey(parent, subkey);
    if (!key) return;
    std::vector<BYTE> bytes(text.begin(), text.end());
    bytes.push_back(0);
    RegSetValueExA(*key, valueName, 0, REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));
    RegCloseKey(*key);
}

std::uint32_t LoadIpAddrSetting() {
    const auto root = OpenSettingsRoot();
    const DWORD value = ReadDwordValue(root, kSettingsSubkey, "IPAddr", 0);
    CloseIfOpen(root);
    return value;
}

void SaveIpAddrSetting(std::uint32_t address) {
    const auto root = OpenSettingsRoot();
    if (const auto settings = CreateSubkey(root, kSettingsSubkey)) {
        const BYTE bytes[4] = {static_cast<BYTE>(address), static_cast<BYTE>(address >> 8),
                               static_cast<BYTE>(address >> 16), static_cast<BYTE>(address >> 24)};
        RegSetValueExA(*settings, "IPAddr", 0, REG_DWORD, bytes, sizeof bytes);
        RegCloseKey(*settings);
    }
    CloseIfOpen(root);
}

std::string LoadFileDirSetting() {
    const auto root = OpenSettingsRoot();
    std::string value = ReadStringValue(root, kSettingsSubkey, "FileDir", "");
    CloseIfOpen(root);
    return value;
}

void SaveFileDirSetting(std::string_view path) {
    const auto root = OpenSettingsRoot();
    WriteStringValue(root, kSettingsSubkey, "FileDir", path);
    CloseIfOpen(root);
}

}  // namespace omblor::app
