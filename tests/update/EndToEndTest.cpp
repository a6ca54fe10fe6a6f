// The real program in the console host against the simulated module. Each case uses its own
// loopback address (the module port is always 20034), so cases may run side by side.
#include <gtest/gtest.h>

#include "support/RunProgram.h"
#include "support/ScratchDir.h"
#include "update/SampleApp.h"

namespace {

using namespace omblor::testing;
constexpr auto npos = std::string::npos;

class EndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        // A loopback address of this case's own: 127.6.<line>.<line>.
        const int n = ::testing::UnitTest::GetInstance()->current_test_info()->line();
        address_ = "127.6." + std::to_string((n >> 8) & 0xFF) + "." + std::to_string(n & 0xFF);
    }

    std::unique_ptr<BackgroundProgram> StartModule(std::vector<std::string> args) {
        // The case's own options come last, so they win.
        args.insert(args.begin(), {"--address", address_, "--timeout", "60", "--save-image",
                                   Path("got.bin"), "--transcript", Path("transcript.bin")});
        auto sim = std::make_unique<BackgroundProgram>("module-sim", args);
        EXPECT_TRUE(sim->WaitForLine("listening"));
        return sim;
    }
    ProgramResult Omblor(std::vector<std::string> args, const std::string& input) {
        return RunProgram("omblor", args, input,
                          {{"OMBLOR_UI", "console"}, {"OMBLOR_HKLM", Path("HKLM.reg")}},
                          std::chrono::seconds(90));
    }
    std::string Path(const char* name) const { return (dir_.path() / name).string(); }
    std::vector<std::string> Auto() const { return {"-A", "-F" + file_, "-I" + address_}; }

    ScratchDir dir_;
    std::string file_ = dir_.Write("t_APP.s19", SampleFile());
    std::string address_;
};

// What follows an update dialog that failed: its end, then the final message.
const std::string kUpdateFailed = "[end 130 2]\n[message \"omblor\"]\nUpdate Failed\n[/message]\n";

TEST_F(EndToEnd, auto_mode_programs_the_module_and_exits_0_without_a_message) {
    auto sim = StartModule({});
    const auto r = Omblor(Auto(), "");
    const auto module = sim->Finish();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("[message"), npos) << r.out;
    EXPECT_EQ(ScratchDir::Read(Path("got.bin")), kImage);
    EXPECT_EQ(ScratchDir::Read(Path("transcript.bin")), kHeader + kImage + "R");
    EXPECT_EQ(module.exitCode, 0) << module.out;
    // The address is stored before the update.
    EXPECT_NE(ScratchDir::Read(Path("HKLM.reg")).find("\"IPAddr\"=dword:7f06"), npos);
}

TEST_F(EndToEnd, credentials_reboot_off_and_the_success_message_without_auto_mode) {
    auto sim = StartModule({"--credentials", "op:s3cret", "--coalesce", "credentials"});
    const auto r = Omblor({"-F" + file_, "-I" + address_},
                          "check 1012 0\nclick 1\nwait 700\nset 1013 op\nset 1014 s3cret\nclick 1\n"
                          "wait 1500\nok\n");
    const auto module = sim->Finish();
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("[message \"omblor\"]\nProgramming Completed without Error.\n[/message]"),
              npos)
        << r.out;
    EXPECT_EQ(r.out.find("s3cret"), npos);
    EXPECT_EQ(ScratchDir::Read(Path("transcript.bin")),
              std::string("op\0s3cret\r\n", 11) + kHeader + kImage + "D");
    EXPECT_NE(module.out.find("credentials=ok"), npos) << module.out;
    EXPECT_EQ(module.exitCode, 0) << module.out;
}

// Each failure is shown with its details, then "Update Failed"; the window stays open.
TEST_F(EndToEnd, failures_are_shown_with_their_details_then_update_failed) {
    std::string start = "100 Platform:QX19:1.0";
    start.resize(254, '.');  // the over-long line's first 254 characters, on one line
    const std::string missing = Path("missing_APP.s19");
    const struct {
        std::vector<std::string> sim;  // none: nobody listens
        std::string file;
        std::string shown;
    } cases[] = {
        {{"--fail-at", "image", "--fail-line", "250 Flash write failed"},
         file_,
         "Error: Flash write failed\n[/message]\n"},
        {{},
         file_,
         "Error: Connect error\n[/message]\n[details] Module: " + address_ +
             " port 20034\\nReason: Connection refused\n"},
        {{"--timeout", "1"},
         missing,
         "Failed to open file\n[/message]\n[details] File: " + missing +
             "\\nReason: No such file or directory\n"},
        {{"--pad", "platform=300"},
         file_,
         "Error: Line too long\n[/message]\n[details] The module's line began: " + start + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        auto sim = c.sim.empty() ? nullptr : StartModule(c.sim);
        const auto r = Omblor({"-A", "-F" + c.file, "-I" + address_}, "wait 1000\nok\nok\ndump\n");
        EXPECT_NE(r.out.find("[message \"omblor\"]\n" + c.shown + kUpdateFailed), npos) << r.out;
        EXPECT_NE(r.out.find("1006 edit enabled \"" + c.file + "\""), npos) << r.out;
        EXPECT_EQ(r.exitCode, 255);
        // An unreadable file fails before any connection.
        if (sim) {
            EXPECT_EQ(sim->Finish().out.find("connection 1") == npos, c.file == missing);
        }
    }
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
        npos)
        << r.out;
    EXPECT_NE(r.out.find(" s.\\nNo line came since the connection was started.\n" + kUpdateFailed),
              npos)
        << r.out;
    EXPECT_EQ(r.exitCode, 255);
}

}  // namespace
