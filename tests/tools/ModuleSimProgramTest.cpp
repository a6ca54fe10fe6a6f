// The module-sim program itself, both roles: help, refusals and the time limit, with the exit
// codes and lines scripts rely on, and the flaky modules against a stand-in for the tool. Whole
// exchanges with the tool run in its end-to-end tests.
#include <gtest/gtest.h>

#include <string>

#include "support/RunProgram.h"
#include "tools/ToolSide.h"

namespace {

using omblor::testing::BackgroundProgram;
using omblor::testing::PlayTool;
using omblor::testing::RunProgram;

TEST(ModuleSimProgram, help_refusals_and_the_time_limit_have_their_exit_codes) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // a part of stdout
    } cases[] = {
        {{"--help"}, 0, "usage: module-sim"},
        {{"discover", "--help"}, 0, "usage: module-sim discover"},
        {{"--address", "192.168.1.1"}, 2, ""},
        {{"--bogus"}, 2, ""},
        {{"--fail-at", "image", "--close-at", "reboot"}, 2, ""},
        {{"--close-in-image", "5", "--silent-at", "reboot"}, 2, ""},
        {{"--faulty", "2", "--connections", "2"}, 2, ""},
        {{"--garbage", "header"}, 2, ""},
        {{"discover", "--generate", "40000"}, 2, ""},
        {{"--port", "0", "--timeout", "0.2"},
         3,
         "summary connections=0 ok=0 status=timeout exit=3\n"},
    };
    for (const auto& c : cases) {
        const auto r = RunProgram("module-sim", c.args, "", {}, std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.front() << "\n" << r.out;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        if (c.exitCode == 2) {
            EXPECT_EQ(r.out, "");  // errors go to stderr
        }
    }
}

// Each module serves its connections one after the other; what each connection showed the tool
// is the codes of the lines it got (noise has code 0), ending early where the module closed.
TEST(ModuleSimProgram,
     flaky_modules_play_their_faults_on_the_first_connections_then_the_plain_one) {
    const std::string plain = "100 102 103 325 350 375 400 105 106";
    const struct {
        const char* address;
        std::vector<std::string> args;
        std::vector<std::string> connections;  // the codes each connection got
        std::size_t firstRead;                 // 0: not checked
    } cases[] = {
        {"127.0.60.1", {"--close-at", "platform", "--faulty", "1"}, {"", plain}, 0},
        {"127.0.60.2",
         {"--close-in-image", "1000", "--connections", "2"},
         {"100 102 103", "100 102 103"},
         0},
        {"127.0.60.3", {"--close-in-image", "0", "--faulty", "1"}, {"100 102 103", plain}, 0},
        {"127.0.60.4",
         {"--garbage", "platform=1", "--garbage", "header=3"},
         {"0 100 0 0 0 102 103 325 350 375 400 105 106"},
         0},
        {"127.0.60.5", {"--drip", "30", "--close-at", "header"}, {"100"}, 1},
        {"127.0.60.6",
         {"--fail-at", "image", "--faulty", "2"},
         {"100 102 250", "100 102 250", plain},
         0},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--address", c.address, "--timeout", "20"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        BackgroundProgram module("module-sim", args);
        ASSERT_TRUE(module.WaitForLine("listening")) << c.address;
        for (std::size_t i = 0; i < c.connections.size(); ++i) {
            const auto run = PlayTool(c.address, 4096);
            EXPECT_TRUE(run.connected) << c.address;
            EXPECT_EQ(run.codes, c.connections[i]) << c.address << " connection " << i + 1;
            if (c.firstRead != 0) {
                EXPECT_EQ(run.firstRead, c.firstRead) << c.address;
            }
        }
        const auto r = module.Finish(std::chrono::seconds(20));
        const std::string n = std::to_string(c.connections.size());
        std::string summary = "summary connections=";
        summary.append(n).append(" ok=").append(n).append(" status=ok");
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find(summary), std::string::npos) << r.out;
    }
}

// Noise lines never hold CR LF and never start like a code: the tool reads code 0 and goes on.
TEST(ModuleSimProgram, noise_lines_are_whole_lines_of_code_0_and_the_same_every_run) {
    std::string first;
    for (int run = 0; run < 2; ++run) {
        BackgroundProgram module(
            "module-sim", {"--address", "127.0.60.20", "--garbage", "platform=5", "--close-at",
                           "platform", "--timeout", "20"});
        ASSERT_TRUE(module.WaitForLine("listening"));
        const auto got = PlayTool("127.0.60.20", 0);
        EXPECT_EQ(got.codes, "0 0 0 0 0");
        EXPECT_EQ(module.Finish().exitCode, 0);
        if (run == 0) first = got.lastText;
        EXPECT_EQ(got.lastText, first);
        EXPECT_GE(got.lastText.size(), 8U);
    }
}

}  // namespace
