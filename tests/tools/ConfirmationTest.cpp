// The confirmation after reboot, its searches going to a relay on 127.0.0.1 that answers each
// request for the modules, with an owner that records what it is told: which replies confirm
// which module, that only replies heard after a module's exchange ended count, one search for
// every waiting module, and the ends without an answer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "Confirmation.h"
#include "discovery/LoopbackRelay.h"
#include "resources/Messages.h"
#include "support/LoopTest.h"

namespace {

using namespace std::chrono_literals;
using namespace omblor::discovery;
using namespace omblor::discovery::testing;
using omblor::ctl::Confirmation;
using Events = std::vector<std::string>;

constexpr std::uint32_t kRelayed = 0x0A010203;  // 10.1.2.3, where the relay's replies come from

struct Owner final : omblor::ctl::ConfirmationOwner {
    void OnConfirmed(std::size_t index, std::string_view application) override {
        Record(std::to_string(index) + " confirmed " + std::string(application), index);
    }
    void OnNotConfirmed(std::size_t index) override {
        Record(std::to_string(index) + " not confirmed", index);
    }
    void Record(std::string event, std::size_t index) {
        events.push_back(std::move(event));
        if (then) then(index);
    }
    Events events;
    // Runs after each report, as a fleet would.
    std::function<void(std::size_t)> then;
};

class Confirm : public omblor::testing::LoopTest {
  protected:
    static std::size_t Count(const std::vector<std::size_t>& sizes, std::size_t size) {
        return static_cast<std::size_t>(std::ranges::count(sizes, size));
    }
    static std::size_t Requests(const LoopbackRelay& relay) { return Count(relay.sizes, 153); }
};

TEST_F(Confirm, a_reply_confirms_by_interface_mac_or_else_by_source_address) {
    struct Case {
        const char* name;
        std::uint32_t address;
        std::vector<MacAddress> macs;
        ReplyBuilder reply;
        const char* event;
    };
    const std::string unknown("QX19\0Unknown\0", 13);
    const Case cases[] = {
        {"mac, elsewhere now", 0x0A010209, {Mac(9), Mac(1)}, {.mac = Mac(1)}, "0 confirmed App"},
        {"another mac at its address", kRelayed, {Mac(7)}, {.mac = Mac(1)}, "0 not confirmed"},
        {"address", kRelayed, {}, {.mac = Mac(1)}, "0 confirmed App"},
        {"another address", 0x0A010204, {}, {.mac = Mac(1)}, "0 not confirmed"},
        {"no application", kRelayed, {}, {.texts = unknown}, "0 confirmed "},
    };
    for (const Case& c : cases) {
        LoopbackRelay relay;
        relay.replies = {c.reply};
        Owner owner;
        Confirmation confirmation(owner, 300ms, relay.Ports());
        confirmation.tick = 40ms;
        confirmation.settle = 20ms;
        confirmation.Await(0, c.address, c.macs);
        EXPECT_EQ(confirmation.Waiting(), 1U) << c.name;
        ASSERT_TRUE(RunUntil([&] { return !owner.events.empty(); })) << c.name;
        EXPECT_EQ(owner.events, Events{c.event}) << c.name;
        EXPECT_EQ(confirmation.Waiting(), 0U) << c.name;
        EXPECT_FALSE(confirmation.Searching()) << c.name;
    }
}

TEST_F(Confirm, one_search_serves_every_waiting_module_and_searching_stops_when_none_waits) {
    LoopbackRelay relay;
    relay.replies = {};  // rebooting
    Owner owner;
    Confirmation confirmation(owner, 5s, relay.Ports());
    confirmation.tick = 40ms;
    confirmation.settle = 20ms;
    confirmation.Await(0, 0x0A000001, std::vector{Mac(1)});
    confirmation.Await(1, 0x0A000002, std::vector{Mac(2)});
    // The search goes on while they wait: a second request follows the first search's three
    // acknowledgements, and no module had a search of its own.
    ASSERT_TRUE(RunUntil([&] { return Requests(relay) == 2; }));
    EXPECT_EQ(relay.sizes, (std::vector<std::size_t>{153, 10, 10, 10, 153}));
    EXPECT_EQ(confirmation.Waiting(), 2U);

    // Both answer the next request.
    relay.replies = {ReplyBuilder{.mac = Mac(1)}, ReplyBuilder{.mac = Mac(2)}};
    ASSERT_TRUE(RunUntil([&] { return owner.events.size() == 2; }));
    EXPECT_EQ(owner.events, (Events{"0 confirmed App", "1 confirmed App"}));
    EXPECT_EQ(Requests(relay), 3U);
    EXPECT_FALSE(confirmation.Searching());
}

TEST_F(Confirm, a_reply_heard_before_the_exchange_ended_does_not_confirm) {
    LoopbackRelay relay;
    relay.replies = {ReplyBuilder{.mac = Mac(1)}, ReplyBuilder{.mac = Mac(2)}};
    Owner owner;
    Confirmation confirmation(owner, 5s, relay.Ports());
    confirmation.tick = 40ms;
    confirmation.settle = 20ms;
    confirmation.Await(0, 0x0A000001, std::vector{Mac(1)});
    confirmation.Await(9, 0x0A000009, std::vector{Mac(9)});  // keeps the search going
    // Module 1 answers while it is still being programmed: the acknowledgement names both.
    ASSERT_TRUE(RunUntil([&] { return Count(relay.sizes, 14) == 1; }));
    EXPECT_EQ(owner.events, Events{"0 confirmed App"});

    // Its exchange ends as it goes quiet for its reboot, a reply it sent just before still
    // unread: that one proves nothing either.
    relay.replies = {};
    relay.Send(ReplyBuilder{.mac = Mac(2)}.Datagram(), relay.senderPorts.back());
    confirmation.Await(1, 0x0A000002, std::vector{Mac(2)});
    ASSERT_TRUE(RunUntil([&] { return Requests(relay) == 2; }));
    EXPECT_EQ(confirmation.Waiting(), 2U);

    // Stopping the run ends every waiting module at once.
    confirmation.Cancel();
    EXPECT_EQ(owner.events, (Events{"0 confirmed App", "9 not confirmed", "1 not confirmed"}));
    EXPECT_EQ(confirmation.Waiting(), 0U);
    EXPECT_FALSE(confirmation.Searching());
}

TEST_F(Confirm, a_module_awaited_from_a_report_needs_a_later_reply_than_the_one_reported) {
    LoopbackRelay relay;
    Owner owner;
    Confirmation confirmation(owner, 5s, relay.Ports());
    confirmation.tick = 40ms;
    confirmation.settle = 20ms;
    std::vector<std::size_t> requestsAtReport;
    owner.then = [&](std::size_t index) {
        requestsAtReport.push_back(Requests(relay));
        // The next module, found at the same address, ends its exchange just now.
        if (index == 0) confirmation.Await(1, kRelayed, {});
    };
    confirmation.Await(0, kRelayed, {});
    ASSERT_TRUE(RunUntil([&] { return owner.events.size() == 2; }));
    EXPECT_EQ(owner.events, (Events{"0 confirmed App", "1 confirmed App"}));
    // The search stopped with module 0 and started again for module 1.
    EXPECT_EQ(requestsAtReport, (std::vector<std::size_t>{1, 2}));
}

TEST_F(Confirm, a_failed_bind_is_told_once_and_the_modules_end_when_their_time_runs_out) {
    LoopbackRelay relay;
    const auto holdFirst = BoundUdp(relay.first);
    const auto holdFallback = BoundUdp(relay.fallback);
    Owner owner;
    Confirmation confirmation(owner, 200ms, relay.Ports());
    confirmation.tick = 40ms;
    confirmation.settle = 20ms;
    ::testing::internal::CaptureStderr();
    confirmation.Await(0, kRelayed, {});
    confirmation.Await(1, kRelayed, {});
    ASSERT_TRUE(RunUntil([&] { return owner.events.size() == 2; }));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "omblorctl: " + std::string(omblor::messages::kUnableToBind) + "\n");
    EXPECT_EQ(owner.events, (Events{"0 not confirmed", "1 not confirmed"}));
}

}  // namespace
