// The real program in the console host against the simulated module. Each case uses its own
// loopback address (the module port is always 20034), so cases may run side by side.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/RunProgram.h"
#include "update/SampleApp.h"

namespace {

namespace fs = std::filesystem;
using omblor::testing::BackgroundProgram;
using omblor::testing::kImage;
using omblor::testing::kRecords;
using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("omblor-e2e-" + std::to_string(::getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        WriteFile("QX19");
        // A loopback address of this case's own: 127.6.<line>.<line>.
        const int n = info->line();
        address_ = "127.6." + std::to_string((n >> 8) & 0xFF) + "." + std::to_string(n & 0xFF);
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteFile(const std::string& header) {
        std::ofstream(File(), std::ios::binary | std::ios::trunc) << "S0" << header << "\r\n"
                                                                  << kRecords;
    }
    std::string File() const { return (dir_ / "t_APP.s19").string(); }

    std::unique_ptr<BackgroundProgram> StartModule(std::vector<std::string> args) {
        // The case's own options come last, so they win.
        args.insert(args.begin(), {"--address", address_, "--timeout", "60", "--save-image",
                                   (dir_ / "got.bin").string(), "--transcript",
                                   (dir_ / "transcript.bin").string()});
        auto sim = std::make_unique<BackgroundProgram>("module-sim", args);
        EXPECT_TRUE(sim->WaitForLine("listening"));
        return sim;
    }
    ProgramResult Omblor(std::vector<std::string> args, const std::string& input) {
        return RunProgram("omblor", args, input,
                          {{"OMBLOR_UI", "console"}, {"OMBLOR_HKLM", (dir_ / "HKLM.reg").string()}},
                          std::chrono::seconds(90));
    }
    std::vector<std::string> Auto() const { return {"-A", "-F" + File(), "-I" + address_}; }
    std::string Received() const { return Slurp(dir_ / "got.bin"); }
    std::string Transcript() const { return Slurp(dir_ / "transcript.bin"); }

    fs::path dir_;
    std::string address_;
};

// What follows an update dialog that failed: its end, then the final message.
constexpr const char* kUpdateFailed =
    "[end 130 2]\n[message \"omblor\"]\nUpdate Failed\n[/message]\n";

TEST_F(EndToEnd, auto_mode_programs_the_module_and_exits_0_without_a_message) {
    auto sim = StartModule({});
    const auto r = Omblor(Auto(), "");
    const auto module = sim->Finish();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("[message"), std::string::npos) << r.out;
    EXPECT_EQ(Received(), kImage);
    EXPECT_EQ(Transcript(), std::string("\x00\x01\x00\x00\x00\x00\x00\x08", 8) + kImage + "R");
    EXPECT_EQ(module.exitCode, 0) << module.out;
    // The address is stored before the update.
    EXPECT_NE(Slurp(dir_ / "HKLM.reg").find("\"IPAddr\"=dword:7f06"), std::string::npos);
}

TEST_F(EndToEnd, credentials_reboot_off_and_the_success_message_without_auto_mode) {
    auto sim = StartModule({"--credentials", "op:s3cret", "--coalesce", "credentials"});
    const auto r = Omblor({"-F" + File(), "-I" + address_},
                          "check 1012 0\nclick 1\nwait 700\nset 1013 op\nset 1014 s3cret\nclick 1\n"
                          "wait 1500\nok\n");
    const auto module = sim->Finish();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("[message \"omblor\"]\nProgramming Completed without Error.\n[/message]"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
    EXPECT_EQ(Transcript(), std::string("op\0s3cret\r\n", 11) +
                                std::string("\x00\x01\x00\x00\x00\x00\x00\x08", 8) + kImage + "D");
    EXPECT_NE(module.out.find("credentials=ok"), std::string::npos) << module.out;
    EXPECT_EQ(module.exitCode, 0) << module.out;
}

TEST_F(EndToEnd, a_module_error_is_shown_then_update_failed_and_the_window_stays) {
    auto sim = StartModule({"--fail-at", "image", "--fail-line", "250 Flash write failed"});
    const auto r = Omblor(Auto(), "wait 1000\nok\nok\ndump\n");
    sim->Finish();
    EXPECT_NE(r.out.find("[message \"omblor\"]\nError: Flash write failed\n[/message]\n" +
                         std::string(kUpdateFailed)),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("1006 edit enabled \"" + File() + "\""), std::string::npos);  // still open
    EXPECT_EQ(r.exitCode, 255);
}

TEST_F(EndToEnd, refused_connection_is_a_connect_error) {
    const auto r = Omblor(Auto(), "");
    EXPECT_NE(r.out.find("Error: Connect error\n[/message]\n[details] Module: " + address_ +
                         " port 20034\\nReason: Connection refused\n" + kUpdateFailed),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.exitCode, 255);
}

TEST_F(EndToEnd, an_unreadable_file_fails_before_any_connection) {
    auto sim = StartModule({"--timeout", "1"});
    const auto r = Omblor({"-A", "-F" + (dir_ / "missing_APP.s19").string(), "-I" + address_}, "");
    const auto module = sim->Finish();
    EXPECT_NE(r.out.find("[message \"omblor\"]\nFailed to open file\n[/message]\n[details] File: " +
                         (dir_ / "missing_APP.s19").string() +
                         "\\nReason: No such file or directory\n" + kUpdateFailed),
              std::string::npos)
        << r.out;
    EXPECT_EQ(module.out.find("connection 1"), std::string::npos) << module.out;  // none came
}

TEST_F(EndToEnd, an_over_long_line_ends_the_update_with_a_message) {
    auto sim = StartModule({"--pad", "platform=300"});
    const auto r = Omblor(Auto(), "");
    sim->Finish();
    // The details hold the line's first 254 characters, on one line.
    std::string start = "100 Platform:QX19:1.0";
    start.resize(254, '.');
    EXPECT_NE(r.out.find("Error: Line too long\n[/message]\n[details] The module's line began: " +
                         start + "\n" + kUpdateFailed),
              std::string::npos)
        << r.out;
}

// The one slow case: the 30-tick silence time-out through the whole program.
TEST_F(EndToEnd, a_silent_module_times_out) {
#ifdef __SANITIZE_ADDRESS__
    // Thirty real seconds; the ordinary build runs it, the sanitizer pass need not twice.
    GTEST_SKIP() << "timing case, run in the ordinary build";
#endif
    auto sim = StartModule({"--silent-at", "platform"});
    const auto r = Omblor(Auto(), "");
    sim->Finish();
    EXPECT_NE(
        r.out.find("Error: Timed out\n[/message]\n[details] Nothing heard from the module for "),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" s.\\nNo line came since the connection was started.\n" +
                         std::string(kUpdateFailed)),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.exitCode, 255);
}

}  // namespace
