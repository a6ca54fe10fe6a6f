// The Windows seams of the reader and the settings: files read through the system's own calls
// (binary, the //c/dir/file form opening c:\dir\file) and the settings in the real registry of
// the wine prefix or the Windows machine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "image/AppImageReader.h"
#include "resources/Messages.h"

// After the settings' own names, which windows.h would otherwise turn into macros.
#include <aclapi.h>
#include <windows.h>

namespace {

namespace fs = std::filesystem;
using omblor::app::LoadFileDirSetting;
using omblor::app::LoadIpAddrSetting;
using omblor::app::SaveFileDirSetting;
using omblor::app::SaveIpAddrSetting;

struct Sink final : omblor::image::MessageSink {
    std::vector<std::string> shown;
    void Show(std::string_view text) override { shown.emplace_back(text); }
};

// Two records around a Ctrl-Z, which a text-mode read would take for the end of the file.
constexpr char kApplication[] =
    "S0QX19\r\nS107100001020304DE\r\n\x1AS107100405060708CA\r\nS9030000FC\r\n";

TEST(Reader, reads_binary_through_native_and_slash_paths) {
    const fs::path folder = fs::temp_directory_path() / "omblor reader test";
    fs::create_directories(folder);
    const fs::path file = folder / "demo_APP.s19";
    std::ofstream(file, std::ios::binary) << kApplication;
    // c:\dir\file as //c/dir/file
    std::string slash = file.string();
    ASSERT_EQ(slash[1], ':');
    slash = "//" + std::string(1, slash[0]) + slash.substr(2);
    for (char& c : slash) c = c == '\\' ? '/' : c;

    for (const std::string& path : {file.string(), slash}) {
        Sink sink;
        const auto image = omblor::image::LoadAppImage(path, sink);
        ASSERT_TRUE(image.has_value()) << path;
        EXPECT_EQ(image->headerText, "QX19");
        EXPECT_EQ(image->baseAddress, 0x1000U);
        const std::vector<std::uint8_t> bytes(image->Bytes().begin(), image->Bytes().end());
        EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8})) << path;
        EXPECT_TRUE(sink.shown.empty());
    }
    for (const std::string& path : {(folder / "missing_APP.s19").string(), folder.string()}) {
        Sink sink;
        EXPECT_FALSE(omblor::image::LoadAppImage(path, sink).has_value());
        EXPECT_EQ(sink.shown,
                  std::vector<std::string>{std::string(omblor::messages::kFailedToOpen)});
    }
    fs::remove_all(folder);
}

constexpr char kSettingsKey[] = "SOFTWARE\\Tarvik\\OMBLOR\\Settings";

TEST(Registry, settings_round_trip_through_the_machine_hive) {
    SaveIpAddrSetting(0x0A000001);
    EXPECT_EQ(LoadIpAddrSetting(), 0x0A000001U);
    SaveFileDirSetting("C:\\apps\\x_APP.s19");
    EXPECT_EQ(LoadFileDirSetting(), "C:\\apps\\x_APP.s19");

    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              &key),
              ERROR_SUCCESS);
    DWORD type = 0;
    BYTE bytes[8] = {};
    DWORD size = sizeof bytes;
    ASSERT_EQ(::RegQueryValueExA(key, "IPAddr", nullptr, &type, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + size), (std::vector<BYTE>{0x01, 0x00, 0x00, 0x0A}));
    // Stored without its terminating NUL, the text still reads back whole.
    constexpr char kNoNul[] = "C:\\no-nul";
    ASSERT_EQ(::RegSetValueExA(key, "FileDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(kNoNul),
                               sizeof kNoNul - 1),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
    EXPECT_EQ(LoadFileDirSetting(), kNoNul);
}

// Both builds share the 32-bit view, so switching build keeps the settings: on 64-bit Windows
// they are under WOW6432Node and the 64-bit view has no key of that name.
TEST(Registry, both_builds_keep_the_settings_in_the_32_bit_view) {
    SaveIpAddrSetting(0x0A000004);
    BOOL wow64 = FALSE;
    const bool windows64 =
        sizeof(void*) == 8 || (::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64);
    if (!windows64) GTEST_SKIP() << "32-bit Windows has one registry view";
    HKEY key = nullptr;
    EXPECT_EQ(
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ | KEY_WOW64_64KEY, &key),
        ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\WOW6432Node\\Tarvik\\OMBLOR\\Settings",
                              0, KEY_READ | KEY_WOW64_64KEY, &key),
              ERROR_SUCCESS);
    DWORD value = 0;
    DWORD size = sizeof value;
    EXPECT_EQ(
        ::RegQueryValueExA(key, "IPAddr", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(value, 0x0A000004U);
    ::RegCloseKey(key);
}

TEST(Registry, a_key_that_refuses_full_access_reads_as_the_default) {
    SaveIpAddrSetting(0x0A000002);
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0,
                              READ_CONTROL | WRITE_DAC | KEY_WOW64_32KEY, &key),
              ERROR_SUCCESS);
    // An empty access list grants nobody anything.
    ACL empty{};
    ASSERT_TRUE(::InitializeAcl(&empty, sizeof empty, ACL_REVISION));
    ASSERT_EQ(::SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &empty, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(LoadIpAddrSetting(), 0U);
    SaveIpAddrSetting(0x0A000003);  // dropped without a word
    // Open again for everyone, through the handle that still has the right to.
    ASSERT_EQ(::SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                nullptr, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    ::RegCloseKey(key);
    EXPECT_EQ(LoadIpAddrSetting(), 0x0A000002U);
}

}  // namespace
