// The module-sim program itself, both roles: help, refusals and the time limit, with the exit
// codes and lines scripts rely on. Whole exchanges with the tool, the flaky and discoverable
// modules among them, run in the tool's end-to-end tests and the chaos bench.
#include <gtest/gtest.h>

#include <string>

#include "support/RunProgram.h"

namespace {

using omblor::testing::BackgroundProgram;
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

}  // namespace
