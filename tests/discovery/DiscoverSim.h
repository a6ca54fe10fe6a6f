// Runs `module-sim discover` over a module file for end-to-end searches. The tools broadcast, so
// these fixtures skip outside a private network namespace (lo its only interface). The simulator
// holds port 20034, so the tool takes 20035; the cases share it and run one at a time.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "module-sim/discovery/NetworkScope.h"
#include "support/RunProgram.h"
#include "support/ScratchDir.h"

namespace omblor::discovery::testing {

class DiscoverSim : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!modulesim::InPrivateNetwork()) {
            GTEST_SKIP() << "broadcasts only inside a private network namespace (scripts/test)";
        }
    }
    // The modules' source addresses must be local for their sockets to bind to them.
    void StartModules(const std::string& lines, const std::vector<std::string>& addresses,
                      const std::vector<std::string>& extra = {}) {
        for (const std::string& a : addresses) {
            const std::string command = "ip addr add " + a + "/32 dev lo 2>/dev/null";
            [[maybe_unused]] const int ignored = std::system(command.c_str());  // may exist already
        }
        std::vector<std::string> args = {"discover", "--modules", dir_.Write("modules.txt", lines),
                                         "--timeout", "30"};
        args.insert(args.end(), extra.begin(), extra.end());
        sim_ = std::make_unique<omblor::testing::BackgroundProgram>("module-sim", args);
        ASSERT_TRUE(sim_->WaitForLine("listening"));
    }

    omblor::testing::ScratchDir dir_;
    std::unique_ptr<omblor::testing::BackgroundProgram> sim_;
};

}  // namespace omblor::discovery::testing
