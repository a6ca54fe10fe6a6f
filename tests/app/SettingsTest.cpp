#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/Registry.h"
#include "app/Settings.h"
#include "support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;
using namespace omblor::app;

// Each test gets its own hive file in a fresh folder.
class SettingsHive : public ::testing::Test {
  protected:
    void SetUp() override {
        hive_ = folder_.path() / "Tarvik" / "HKLM.reg";
        ::setenv("OMBLOR_HKLM", hive_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("OMBLOR_HKLM"); }
    std::string HiveText(const std::string& suffix = "") const {
        std::ifstream in(hive_.string() + suffix);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void WriteHive(const std::string& text) {
        fs::create_directories(hive_.parent_path());
        std::ofstream(hive_) << text;
    }
    Hive Parsed() const { return ParseHive(HiveText()); }
    const RegValue* Value(const Hive& hive, std::string_view name) const {
        for (const auto& k : hive.keys) {
            if (k.path != "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR\\Settings") continue;
            for (const auto& v : k.values) {
                if (v.name == name) return &v;
            }
        }
        return nullptr;
    }

    omblor::testing::ScratchDir folder_;
    fs::path hive_;
};

TEST_F(SettingsHive, fresh_hive_reads_defaults_and_creates_only_the_root_key) {
    EXPECT_EQ(LoadIpAddrSetting(), 0U);
    EXPECT_EQ(LoadFileDirSetting(), "");
    const Hive hive = Parsed();
    bool root = false;
    for (const auto& k : hive.keys) {
        if (k.path == "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR") root = true;
        EXPECT_EQ(k.path.find("Settings"), std::string::npos) << k.path;
    }
    EXPECT_TRUE(root);
}

TEST_F(SettingsHive, odd_stored_values_read_by_their_bytes) {
    struct Case {
        const char* line;
        std::uint32_t address;
        const char* path;
    };
    const Case cases[] = {
        // FileDir without NUL reads as the full text.
        {"\"FileDir\"=hex(1):2f,61,62", 0, "/ab"},
        // Text up to the first NUL only; any type is read as raw bytes.
        {"\"FileDir\"=hex(3):2f,61,00,62", 0, "/a"},
        // IPAddr of another type but 4 bytes is accepted; any other size is not.
        {"\"IPAddr\"=hex:03,02,01,0a", 0x0A010203, ""},
        {"\"IPAddr\"=hex(4):03,02,01", 0, ""},
        {"\"IPAddr\"=hex(4):03,02,01,0a,00", 0, ""},
    };
    for (const auto& c : cases) {
        WriteHive(std::string("Windows Registry Editor Version 5.00\n\n"
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR\\Settings]\n") +
                  c.line + "\n");
        EXPECT_EQ(LoadIpAddrSetting(), c.address) << c.line;
        EXPECT_EQ(LoadFileDirSetting(), c.path) << c.line;
    }
}

TEST_F(SettingsHive, saved_values_keep_their_types_and_others_survive_a_rewrite_byte_for_byte) {
    WriteHive(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR\\Settings]\r\n"
        "\"FileDir\"=hex(1):2f,61,62\r\n"
        "\"Other\"=hex(7):61,00,62,00,00,\\\r\n  00\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Else]\r\n@=\"x\"\r\n");
    SaveIpAddrSetting(0xC0A80132);
    Hive hive = Parsed();
    EXPECT_FALSE(hive.damaged);
    const RegValue* other = Value(hive, "Other");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->type, 7U);
    EXPECT_EQ(other->data, (std::vector<BYTE>{0x61, 0, 0x62, 0, 0, 0}));
    const RegValue* file = Value(hive, "FileDir");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->data, (std::vector<BYTE>{0x2f, 0x61, 0x62}));
    EXPECT_NE(HiveText().find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Else]\n@=\"x\""), std::string::npos);
    // The address is a little-endian dword.
    EXPECT_NE(HiveText().find("\"IPAddr\"=dword:c0a80132"), std::string::npos) << HiveText();
    const RegValue* address = Value(hive, "IPAddr");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->type, REG_DWORD);
    EXPECT_EQ(LoadIpAddrSetting(), 0xC0A80132U);
    // The path is text with its terminating NUL.
    SaveFileDirSetting("/home/op/apps/x \"quoted\" \\ back_APP.s19");
    hive = Parsed();
    file = Value(hive, "FileDir");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->type, REG_SZ);
    EXPECT_EQ(file->data.back(), 0);
    EXPECT_EQ(LoadFileDirSetting(), "/home/op/apps/x \"quoted\" \\ back_APP.s19");
}

TEST_F(SettingsHive, damaged_hive_reads_what_it_can_and_keeps_a_copy_before_rewriting) {
    const std::string garbage =
        "\x01\x02 not a hive\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tarvik\\OMBLOR\\Settings]\n"
        "\"IPAddr\"=dword:0a000001\n"
        "\"IPAddr\"~dword:0b000002\n"
        "\"Broken\"=hex(1):zz\n";
    WriteHive(garbage);
    EXPECT_EQ(LoadIpAddrSetting(), 0x0A000001U);
    SaveFileDirSetting("/x_APP.s19");
    EXPECT_EQ(LoadIpAddrSetting(), 0x0A000001U);
    EXPECT_EQ(LoadFileDirSetting(), "/x_APP.s19");
    EXPECT_EQ(HiveText(".damaged"), garbage);  // kept aside
}

TEST_F(SettingsHive, an_unusable_location_gives_silent_defaults_and_an_unreadable_hive_stays) {
    // A hive whose folder would have to be made inside a plain file cannot exist, even for root.
    ::setenv("OMBLOR_HKLM", (folder_.Write("plain", "x") + "/HKLM.reg").c_str(), 1);
    SaveIpAddrSetting(0x0A000001);
    SaveFileDirSetting("/x");
    EXPECT_EQ(LoadIpAddrSetting(), 0U);
    EXPECT_EQ(LoadFileDirSetting(), "");

    ::setenv("OMBLOR_HKLM", hive_.c_str(), 1);
    fs::create_directories(hive_);  // a folder where the file should be: open works, read fails
    SaveIpAddrSetting(0x0A000001);
    EXPECT_TRUE(fs::is_directory(hive_));
    EXPECT_EQ(LoadIpAddrSetting(), 0U);
}

TEST_F(SettingsHive, registry_calls_keep_their_size_and_type_rules) {
    HKEY root = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvik\\OMBLOR\\", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &root, nullptr),
              ERROR_SUCCESS);
    HKEY settings = 0;
    EXPECT_EQ(RegOpenKeyExA(root, "Settings", 0, KEY_ALL_ACCESS, &settings), ERROR_FILE_NOT_FOUND);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(root, "Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const BYTE data[] = {1, 2, 3, 4, 5};
    ASSERT_EQ(RegSetValueExA(settings, "V", 0, 0x42, data, sizeof data), ERROR_SUCCESS);
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(settings, "v", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, 0x42U);
    EXPECT_EQ(size, 5U);
    BYTE small[4] = {};
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(settings, "V", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 5U);
    EXPECT_EQ(RegCloseKey(settings), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(settings), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
}

}  // namespace
