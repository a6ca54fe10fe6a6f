// The production-line rules of omblorctl's fleet, against scripted modules on loopback with a
// recording owner: which failures are tried again and how often, that a waiting module holds no
// connection slot, the canary, the failure limit, the confirmation, and what each ends with.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Fleet.h"
#include "RetryDelay.h"
#include "image/AppImageReader.h"
#include "support/LoopTest.h"
#include "support/ScratchDir.h"
#include "update/SampleApp.h"
#include "update/ScriptedModule.h"

namespace {

using namespace std::chrono_literals;
using omblor::ctl::Fleet;
using omblor::ctl::FleetSettings;
using omblor::ctl::ModuleState;
using omblor::testing::ScriptedModule;
using Script = std::vector<ScriptedModule::Step>;
using Then = ScriptedModule::Step::Then;

// What a module does with one connection.
const Script kProgram = {{0, "100 Platform:QX19:1.0\r\n102\r\n"},
                         {8, "103\r\n"},
                         {16, "400\r\n105\r\n"},
                         {17, "106\r\n"}};
const Script kDrop = {{0, "", Then::Close}};
const Script kOtherPlatform = {{0, "100 Platform:QX20:1.0\r\n102\r\n"}, {8, "107\r\n"}};
const Script kFlashFails = {{0, "250 Flash failed\r\n"}};
// No module listens there: every connection is refused.
const std::vector<Script> kNobody = {};

// Everything the fleet tells its record and its watch, as short lines.
struct Recorder final : omblor::ctl::FleetRecord,
                        omblor::ctl::FleetView,
                        omblor::ctl::ComebackWatch {
    void AttemptEnded(const ModuleState& m) override {
        attempts.push_back(m.result.address + " " + m.result.outcome);
    }
    void ModuleEnded(const ModuleState& m) override {
        ended.push_back(m.result.address + " " + m.result.outcome + " " +
                        std::to_string(m.result.attempts));
        results[m.result.address] = m.result;
    }
    void Changed(std::span<const ModuleState> /*modules*/, std::size_t /*index*/) override {}
    void Finished(std::span<const ModuleState> /*modules*/) override {}
    void Await(std::size_t index, std::uint32_t /*hostOrder*/,
               std::span<const omblor::discovery::MacAddress> /*macs*/) override {
        awaited.push_back(index);
        if (onAwait) onAwait(index);
    }
    void Cancel() override { ++cancels; }

    std::vector<std::string> attempts;
    std::vector<std::string> ended;
    std::map<std::string, omblor::ctl::ModuleResult> results;
    std::vector<std::size_t> awaited;
    int cancels = 0;
    std::function<void(std::size_t)> onAwait;
};

class FleetRules : public omblor::testing::LoopTest {
  protected:
    void SetUp() override {
        LoopTest::SetUp();
        struct NoMessages final : omblor::image::MessageSink {
            void Show(std::string_view text) override { ADD_FAILURE() << text; }
        } sink;
        const auto path = dir_.Write("line_APP.s19", omblor::testing::SampleFile());
        image_ = omblor::image::LoadAppImage(path, sink);
        ASSERT_TRUE(image_);
        // Each case its own 127.41.<line>.0/24: cases may run side by side.
        const int line = ::testing::UnitTest::GetInstance()->current_test_info()->line();
        base_ = 0x7F290000U | (static_cast<std::uint32_t>(line & 0xFF) << 8);
    }
    static std::string Dotted(std::uint32_t a) {
        return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
               std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
    }
    std::string Address(std::size_t i) const { return Dotted(base_ + 1 + i); }

    // One module a list of per-connection scripts (none: nobody listens), run to the end.
    void Run(const std::vector<std::vector<Script>>& modules,
             const std::function<void(FleetSettings&)>& set = {}) {
        FleetSettings settings;
        settings.retryDelay = 20ms;
        settings.jitter = [] { return 0.0; };
        if (set) set(settings);
        std::vector<ModuleState> states;
        modules_.clear();
        for (std::size_t i = 0; i < modules.size(); ++i) {
            const std::uint32_t address = base_ + 1 + static_cast<std::uint32_t>(i);
            modules_.push_back(modules[i].empty()
                                   ? nullptr
                                   : std::make_unique<ScriptedModule>(address, 20034, modules[i]));
            ModuleState state;
            state.hostOrder = address;
            state.result.address = Dotted(address);
            states.push_back(std::move(state));
        }
        fleet_ = std::make_unique<Fleet>(*image_, std::move(settings), std::move(states), record_,
                                         record_);
        if (confirm_) fleet_->ConfirmWith(record_);
        bool expired = false;
        const omblor::net::ScopedTimer guard(20s, omblor::net::Repeat::No, [&] {
            expired = true;
            fleet_->Stop();
        });
        fleet_->Run();
        EXPECT_FALSE(expired);
    }
    std::size_t Connections(std::size_t i) const {
        return modules_[i] ? modules_[i]->connections : 0;
    }

    omblor::testing::ScratchDir dir_;
    std::optional<omblor::image::AppImage> image_;
    std::uint32_t base_ = 0;
    std::vector<std::unique_ptr<ScriptedModule>> modules_;
    Recorder record_;
    bool confirm_ = false;
    std::unique_ptr<Fleet> fleet_;
};

TEST_F(FleetRules, transient_failures_are_tried_again_final_ones_never) {
    const struct {
        const char* name;
        std::vector<Script> connections;
        std::size_t retries;
        std::vector<std::string> attempts;  // each attempt's outcome, in order
    } cases[] = {
        {"dropped once", {kDrop, kProgram}, 1, {"receive error", "programmed"}},
        {"dropped once, no retries", {kDrop, kProgram}, 0, {"receive error"}},
        {"dropped always", {kDrop}, 2, {"receive error", "receive error", "receive error"}},
        {"nobody listens", kNobody, 1, {"connect error", "connect error"}},
        {"other platform", {kOtherPlatform, kProgram}, 2, {"refused"}},
        {"module error", {kFlashFails, kProgram}, 2, {"module error"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        record_ = {};
        Run({c.connections}, [&](FleetSettings& s) { s.retries = c.retries; });
        std::vector<std::string> expected;
        for (const auto& outcome : c.attempts) expected.push_back(Address(0) + " " + outcome);
        EXPECT_EQ(record_.attempts, expected);
        ASSERT_EQ(record_.ended.size(), 1U);
        EXPECT_EQ(record_.ended[0], expected.back() + " " + std::to_string(c.attempts.size()));
        if (!c.connections.empty()) {
            EXPECT_EQ(Connections(0), c.attempts.size());
        }
    }
}

// With one slot, the second module is programmed while the first waits out its delay.
TEST_F(FleetRules, a_module_waiting_to_try_again_holds_no_slot) {
    Run({{kDrop, kProgram}, {kProgram}}, [](FleetSettings& s) {
        s.parallel = 1;
        s.retries = 1;
        s.retryDelay = 300ms;
    });
    EXPECT_EQ(record_.ended, (std::vector<std::string>{Address(1) + " programmed 1",
                                                       Address(0) + " programmed 2"}));
}

TEST_F(FleetRules, the_others_start_only_once_every_canary_is_programmed) {
    const struct {
        const char* name;
        std::vector<std::vector<Script>> modules;
        std::size_t canary;
        std::vector<std::string> ended;
    } cases[] = {
        {"canary fails",
         {{kOtherPlatform}, {kProgram}, {kProgram}},
         1,
         {"0 refused 1", "1 not started 0", "2 not started 0"}},
        {"second canary fails",
         {{kProgram}, {kFlashFails}, {kProgram}},
         2,
         {"0 programmed 1", "1 module error 1", "2 not started 0"}},
        // A canary mended by a retry still counts as programmed.
        {"canaries programmed",
         {{kDrop, kProgram}, {kProgram}, {kProgram}},
         2,
         {"1 programmed 1", "0 programmed 2", "2 programmed 1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        record_ = {};
        Run(c.modules, [&](FleetSettings& s) {
            s.parallel = 8;
            s.retries = 1;
            s.canary = c.canary;
        });
        std::vector<std::string> expected;
        for (const std::string& line : c.ended)
            expected.push_back(Address(static_cast<std::size_t>(line[0] - '0')) + line.substr(1));
        // The canaries run side by side, so only the follower's place is fixed.
        auto ended = record_.ended;
        std::ranges::sort(ended);
        std::ranges::sort(expected);
        EXPECT_EQ(ended, expected);
        if (record_.results[Address(2)].outcome == "programmed") {
            EXPECT_EQ(record_.ended.back(), Address(2) + " programmed 1");
        }
        for (std::size_t i = 0; i < c.modules.size(); ++i) {
            if (record_.results[Address(i)].outcome == "not started") {
                EXPECT_EQ(Connections(i), 0U) << i;
            }
        }
    }
}

// Connections open when the limit is reached finish; no new one opens; a module waiting to try
// again keeps its last outcome.
TEST_F(FleetRules, at_the_failure_limit_no_new_connection_opens) {
    Run({{kFlashFails}, {kDrop, kProgram}, {kProgram}, {kProgram}}, [](FleetSettings& s) {
        s.parallel = 2;
        s.retries = 1;
        s.retryDelay = 500ms;
        s.maxFailures = 1;
    });
    EXPECT_EQ(record_.results[Address(0)].outcome, "module error");
    EXPECT_EQ(record_.results[Address(1)].outcome, "receive error");
    EXPECT_EQ(record_.results[Address(1)].attempts, 1U);
    EXPECT_EQ(record_.results[Address(2)].outcome, "not started");
    EXPECT_EQ(record_.results[Address(3)].outcome, "not started");
    EXPECT_EQ(Connections(2) + Connections(3), 0U);
    EXPECT_EQ(record_.ended.size(), 4U);
}

TEST_F(FleetRules, a_programmed_module_ends_once_its_watch_has_heard_it_or_not) {
    // The first is heard again at once, the second never; the third is a canary's follower.
    record_.onAwait = [this](std::size_t index) {
        if (index == 0) fleet_->OnConfirmed(0, "APP 2.0");
        if (index == 1) fleet_->OnNotConfirmed(1);
    };
    confirm_ = true;
    Run({{kProgram}, {kProgram}, {kProgram}}, [](FleetSettings& s) {
        s.parallel = 1;
        s.canary = 2;
    });
    EXPECT_EQ(record_.awaited, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(record_.ended, (std::vector<std::string>{Address(0) + " programmed 1",
                                                       Address(1) + " not confirmed 1",
                                                       Address(2) + " not started 0"}));
    EXPECT_EQ(record_.results[Address(0)].confirmed, true);
    EXPECT_EQ(record_.results[Address(0)].application, "APP 2.0");
    EXPECT_EQ(record_.results[Address(1)].confirmed, false);
}

TEST(RetryDelay, doubles_from_the_base_and_stretches_by_at_most_a_quarter) {
    using omblor::ctl::RetryDelay;
    const struct {
        std::chrono::milliseconds base;
        unsigned retry;
        double jitter;
        std::chrono::milliseconds delay;
    } cases[] = {
        {2000ms, 1, 0.0, 2000ms}, {2000ms, 2, 0.0, 4000ms},   {2000ms, 3, 0.5, 9000ms},
        {0ms, 5, 0.9, 0ms},       {1000ms, 1, 0.999, 1250ms}, {3600s, 100, 0.0, 3600s},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RetryDelay(c.base, c.retry, c.jitter), c.delay) << c.retry << " " << c.jitter;
}

}  // namespace
