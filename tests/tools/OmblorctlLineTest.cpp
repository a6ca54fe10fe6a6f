// omblorctl update as a production line runs it, against discoverable simulated modules inside
// a private network namespace: a dry run that connects to nothing, then a canary run with a
// retry and a confirmation after reboot, its log, and a run again of what failed.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "module-sim/discovery/NetworkScope.h"
#include "support/RunProgram.h"
#include "support/ScratchDir.h"

namespace {

using omblor::testing::BackgroundProgram;
using omblor::testing::RunProgram;

// Each JSON line as "address outcome attempts confirmed application", sorted by address.
std::string Summary(const std::string& lines) {
    return RunProgram("/usr/bin/jq",
                      {"-r", "-s",
                       "sort_by(.address)[] | [.address, .outcome, .attempts, .confirmed, "
                       ".application] | map(tostring) | join(\" \")"},
                      lines)
        .out;
}

TEST(OmblorctlLine, a_dry_run_then_a_canary_run_with_a_retry_and_a_confirmation) {
    if (!omblor::modulesim::InPrivateNetwork()) {
        GTEST_SKIP() << "broadcasts only inside a private network namespace (scripts/test)";
    }
    const omblor::testing::ScratchDir dir;
    const std::string file =
        std::string(std::getenv("OMBLOR_SOURCE_DIR")) + "/examples/demo_APP.s19";
    const std::string log = (dir.path() / "line.log").string();
    // The second drops its first connection; the fourth runs another platform and is skipped.
    const std::string variations = dir.Write("variations",
                                             "127.0.63.2 --close-at platform --faulty 1\n"
                                             "127.0.63.4 --platform QX20\n");
    BackgroundProgram sim("module-sim",
                          {"--address", "127.0.63.1", "--modules", "4", "--discoverable",
                           "--application", "Old", "--application-after", "New", "--reboot-seconds",
                           "1", "--variations", variations, "--timeout", "25"});
    ASSERT_TRUE(sim.WaitForLine("listening"));

    const auto dry =
        RunProgram("omblorctl",
                   {"update", file, "--found", "--dry-run", "--json", "--log", log, "--user", "op"},
                   "", {}, std::chrono::seconds(30));
    EXPECT_EQ(dry.exitCode, 0) << dry.out;
    EXPECT_EQ(Summary(dry.out),
              "127.0.63.1 would program 0 null null\n"
              "127.0.63.2 would program 0 null null\n"
              "127.0.63.3 would program 0 null null\n"
              "127.0.63.4 skipped 0 null null\n");

    const auto run =
        RunProgram("omblorctl",
                   {"update", file, "--found", "--canary", "1", "--retries", "1", "--retry-delay",
                    "0.2", "--confirm", "--confirm-timeout", "20", "--json", "--log", log},
                   "", {}, std::chrono::seconds(60));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(Summary(run.out),
              "127.0.63.1 programmed 1 true New\n"
              "127.0.63.2 programmed 2 true New\n"
              "127.0.63.3 programmed 1 true New\n"
              "127.0.63.4 skipped 0 null null\n");

    // A line for every attempt and one for the module never connected to; the dry run wrote none.
    const auto lines = RunProgram("/usr/bin/jq",
                                  {"-r", "-s",
                                   "sort_by(.address, .attempt)[] | [.address, .attempt, .outcome, "
                                   ".confirmed, (.mac | length)] | map(tostring) | join(\" \")"},
                                  omblor::testing::ScratchDir::Read(log));
    EXPECT_EQ(lines.out,
              "127.0.63.1 1 programmed true 17\n"
              "127.0.63.2 1 receive error null 17\n"
              "127.0.63.2 2 programmed true 17\n"
              "127.0.63.3 1 programmed true 17\n"
              "127.0.63.4 0 skipped null 17\n");

    // Nothing left to run again.
    const auto again = RunProgram("omblorctl", {"update", file, "--failed-from", log}, "", {},
                                  std::chrono::seconds(10));
    EXPECT_EQ(again.exitCode, 0) << again.out;

    // The dry run connected to nobody: four connections, all from the real run, all as scripted
    // (the skipped module waits for its connection until the simulator's time runs out).
    const auto sim_end = sim.Finish(std::chrono::seconds(60));
    EXPECT_NE(sim_end.out.find("summary connections=4 ok=4 "), std::string::npos) << sim_end.out;
}

}  // namespace
