// omblorctl update against simulated modules on loopback, each reported with its own outcome.
// Each case has its own 127.9.<n>.0/24, so cases may run side by side.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "image/ImageTestSupport.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using omblor::testing::BackgroundProgram;
using omblor::testing::BinDir;
using omblor::testing::ProgramResult;
using omblor::testing::RunProgram;
using omblor::testing::ScratchDir;

constexpr std::size_t kImageBytes = 40960;
constexpr const char* kPassword = "s3cret-PW";

// The simulator's options for a module (none: nobody listens there) and its reported outcome.
struct Module {
    std::vector<std::string> options;
    std::string outcome;
};

const std::vector<std::string> kPlain = {"--platform", "QX19"};
const std::vector<std::string> kAsks = {"--credentials", std::string("op:") + kPassword};
const std::vector<std::string> kNobody = {};

class OmblorctlUpdate : public ::testing::Test {
  protected:
    void SetUp() override {
        const int line = ::testing::UnitTest::GetInstance()->current_test_info()->line();
        prefix_ = "127.9." + std::to_string(line & 0xFF) + ".";
        std::string text = "S0QX19\r\n";
        std::uint32_t seed = 12345;
        for (std::size_t at = 0; at < kImageBytes; at += 32) {
            std::vector<std::uint8_t> data(32);
            for (auto& byte : data)
                byte = static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16);
            image_.append(data.begin(), data.end());
            text += omblor::image::testing::Record(3, 0x10000 + at, data) + "\r\n";
        }
        file_ = dir_.Write("fleet_APP.s19", text + "S70500010000F9\r\n");
    }

    std::string Address(std::size_t i) const { return prefix_ + std::to_string(i + 1); }

    // One simulator plays the modules with options, on the first addresses; the others come last.
    void Start(const std::vector<Module>& modules) {
        std::string variations;
        std::size_t count = 0;
        for (; count < modules.size() && !modules[count].options.empty(); ++count) {
            variations += Address(count);
            for (std::string word : modules[count].options) {
                for (std::size_t at; (at = word.find(' ')) != std::string::npos;)
                    word.replace(at, 1, "\\x20");
                variations += ' ' + word;
            }
            variations += '\n';
        }
        sim_ = std::make_unique<BackgroundProgram>(
            "module-sim",
            std::vector<std::string>{"--modules", std::to_string(count), "--address", Address(0),
                                     "--timeout", "60", "--save-image", dir_.path().string(),
                                     "--variations", dir_.Write("variations", variations)});
        ASSERT_TRUE(sim_->WaitForLine("listening"));
    }

    // Programs the first `modules` addresses; stderr is kept in `stderr_`.
    ProgramResult Ctl(std::vector<std::string> args, std::size_t modules,
                      std::map<std::string, std::string> env = {}) {
        args.insert(args.begin(), {"-c", "exec \"$0\" \"$@\" 2>\"$STDERR_FILE\"",
                                   BinDir() + "/omblorctl", "update", file_});
        for (std::size_t i = 0; i < modules; ++i) args.push_back(Address(i));
        env["STDERR_FILE"] = (dir_.path() / "stderr").string();
        auto result = RunProgram("/bin/sh", args, "", env, std::chrono::seconds(90));
        stderr_ = ScratchDir::Read(dir_.path() / "stderr");
        return result;
    }

    // Address to "outcome: detail" from the result table.
    static std::map<std::string, std::string> Outcomes(const std::string& out) {
        std::map<std::string, std::string> outcomes;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream fields(line);
            std::string address, seconds, bytes, attempts, outcome;
            if (!(fields >> address >> seconds >> bytes >> attempts) ||
                !address.starts_with("127."))
                continue;
            std::getline(fields >> std::ws, outcome);
            outcomes[address] = outcome;
        }
        return outcomes;
    }

    // Every module reported as it should be, every programmed one holding the image.
    void Check(const std::vector<Module>& modules, const ProgramResult& r) {
        const auto sim = sim_->Finish();
        EXPECT_EQ(sim.exitCode, 0) << sim.out;
        const auto outcomes = Outcomes(r.out);
        EXPECT_EQ(outcomes.size(), modules.size()) << r.out;
        for (std::size_t i = 0; i < modules.size(); ++i) {
            EXPECT_EQ(outcomes.count(Address(i)) ? outcomes.at(Address(i)) : "-",
                      modules[i].outcome)
                << Address(i) << "\n"
                << r.out;
            if (modules[i].outcome == "programmed") {
                EXPECT_TRUE(ScratchDir::Read(dir_.path() / (Address(i) + ".bin")) == image_)
                    << Address(i);
            }
        }
        EXPECT_EQ((r.out + stderr_).find(kPassword), std::string::npos) << r.out << stderr_;
    }

    ScratchDir dir_;
    std::string prefix_;
    std::string file_;
    std::string image_;
    std::string stderr_;
    std::unique_ptr<BackgroundProgram> sim_;
};

TEST_F(OmblorctlUpdate, mixed_outcomes_in_one_run_are_each_reported_and_exit_1) {
    std::vector<Module> modules;
    for (int i = 0; i < 8; ++i) modules.push_back({kPlain, "programmed"});
    for (int i = 0; i < 3; ++i) modules.push_back({kAsks, "programmed"});
    for (int i = 0; i < 2; ++i) {
        modules.push_back(
            {{"--platform", "QX20", "--expect", "refused"}, "refused: platform QX20, file QX19"});
        modules.push_back({{"--fail-at", "image", "--fail-line", "250 Flash write failed"},
                           "module error: Flash write failed"});
        modules.push_back({{"--close-at", "header"}, "receive error: Closed by module"});
    }
    modules.push_back(
        {{"--credentials", "op:other", "--expect", "denied"}, "module error: Login failed"});
    for (int i = 0; i < 2; ++i) modules.push_back({kNobody, "connect error: Connection refused"});
    ASSERT_EQ(modules.size(), 20U);
    Start(modules);
    const auto r = Ctl({"--user", "op"}, modules.size(), {{"OMBLOR_PASSWORD", kPassword}});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    Check(modules, r);
}

// A folder, or a file that fails as it is read, is no password: nothing is sent with an empty one.
TEST_F(OmblorctlUpdate,
       twenty_modules_all_programmed_exit_0_and_an_unreadable_password_file_stops) {
    const auto refused = Ctl({"--user", "op", "--password-file", dir_.path().string()}, 1);
    EXPECT_EQ(refused.exitCode, 2) << refused.out;
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(stderr_.find("cannot read " + dir_.path().string()), std::string::npos) << stderr_;
    std::vector<Module> modules;
    for (int i = 0; i < 20; ++i) modules.push_back({i % 4 == 0 ? kAsks : kPlain, "programmed"});
    Start(modules);
    const std::string passwordFile = dir_.Write("password", std::string(kPassword) + "\n");
    const auto r =
        Ctl({"--user", "op", "--password-file", passwordFile, "--parallel", "7"}, modules.size());
    EXPECT_EQ(r.exitCode, 0) << r.out;
    Check(modules, r);
}

TEST_F(OmblorctlUpdate, json_lines_carry_every_field_and_outside_text_stays_json) {
    const std::vector<Module> modules = {
        {kPlain, "programmed"},
        {{kAsks[0], kAsks[1], "--expect", "closed"}, "credentials needed"},
        {{"--fail-at", "header", "--fail-line", "250 say \"no\"\\\\ \\x01\\xE9"}, "module error"},
        {kNobody, "connect error"},
    };
    Start(modules);
    const auto r = Ctl({"--json", "--no-reboot"}, modules.size());
    EXPECT_EQ(r.exitCode, 1) << r.out;
    // Only the JSON lines: what jq cannot parse, or lacks a field, fails here.
    const auto parsed = RunProgram("/usr/bin/jq",
                                   {"-r", "-e", "-s",
                                    "sort_by(.address)[] | select(.outcome) | [.address, .outcome, "
                                    ".detail, (.seconds | type), .bytes] | @tsv"},
                                   r.out);
    EXPECT_EQ(parsed.exitCode, 0) << r.out;
    EXPECT_EQ(parsed.out, Address(0) + "\tprogrammed\t\tnumber\t40960\n" + Address(1) +
                              "\tcredentials needed\t\tnumber\t0\n" + Address(2) +
                              "\tmodule error\tsay \"no\"\\\\ \x01\xC3\xA9\tnumber\t0\n" +
                              Address(3) + "\tconnect error\tConnection refused\tnumber\t0\n")
        << r.out;
}

}  // namespace
