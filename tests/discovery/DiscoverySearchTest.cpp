// The discovery search without a window, its "broadcast" going to a relay on 127.0.0.1, with an
// owner that records what it is told: the schedule of a search, Search Again, the ports it
// binds, and which replies change the list.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "FakeDeviceTree.h"
#include "LoopbackRelay.h"
#include "discovery/Datagrams.h"
#include "discovery/DiscoverySearch.h"
#include "support/LoopTest.h"

namespace {

using namespace std::chrono_literals;
using namespace omblor::discovery;
using namespace omblor::discovery::testing;
using Events = std::vector<std::string>;

struct Owner final : DiscoverySearchOwner {
    void OnBindFailed() override { events.emplace_back("bind failed"); }
    void OnListChanged() override { events.emplace_back("changed"); }
    void OnSearchEnded() override { events.emplace_back("ended"); }
    void OnReplyHeard(const ParsedReply& /*reply*/) override { ++heard; }
    Events events;
    int heard = 0;
};

class Search : public omblor::testing::LoopTest {
  protected:
    // A search with short ticks, so each takes a fraction of a second.
    static void Shorten(DiscoverySearch& search) { search.tick = 40ms; }
    [[nodiscard]] bool Ended(const Owner& owner, std::size_t times = 1) const {
        return std::ranges::count(owner.events, "ended") == static_cast<long>(times);
    }
};

TEST_F(Search, sends_a_request_then_three_acknowledgements_and_hears_replies_after_it_ended) {
    LoopbackRelay relay;
    Owner owner;
    DiscoverySearch search(owner, relay.Ports());
    Shorten(search);
    search.Open();
    EXPECT_TRUE(search.Searching());
    ASSERT_TRUE(RunUntil([&] { return Ended(owner) && relay.sizes.size() == 4; }));
    EXPECT_FALSE(search.Searching());
    // Each acknowledgement names the one interface heard: 10 bytes of frame and 2 for it.
    EXPECT_EQ(relay.sizes, (std::vector<std::size_t>{153, 12, 12, 12}));
    EXPECT_EQ(relay.senderPorts, std::vector<std::uint16_t>(4, relay.first));
    EXPECT_EQ(owner.events, (Events{"changed", "ended"}));

    // After the search: our own request echoed, a repeat and a truncated reply change nothing;
    // a new module still joins the list.
    const auto request = BuildRequest();
    relay.Send({request.begin(), request.end()}, relay.first);
    relay.Send(relay.replies[0].Datagram(), relay.first);
    relay.Send(std::vector<std::uint8_t>{'K', 'V', 'T', 'R', 'r'}, relay.first);
    relay.Send(ReplyBuilder{.mac = Mac(2)}.Datagram(), relay.first);
    ASSERT_TRUE(RunUntil([&] { return search.Devices().RecordCount() == 2; }));
    EXPECT_EQ(owner.events, (Events{"changed", "ended", "changed"}));
    EXPECT_EQ(owner.heard, 3);  // the repeat too: it changed nothing, but the module answered
    EXPECT_EQ(relay.sizes.size(), 4U);  // nothing more goes out

    // Opened again, it starts over: an empty list, then a whole new search.
    search.Open();
    EXPECT_TRUE(search.Devices().Empty());
    ASSERT_TRUE(RunUntil([&] { return Ended(owner, 2) && relay.sizes.size() == 8; }));
    EXPECT_EQ(search.Devices().RecordCount(), 1U);
}

TEST_F(Search, search_again_empties_tree_and_list_first_and_restarts_the_schedule) {
    LoopbackRelay relay;
    Owner owner;
    FakeDeviceTree tree;
    DiscoverySearch search(owner, relay.Ports(), &tree);
    Shorten(search);
    search.Open();
    ASSERT_TRUE(RunUntil([&] { return relay.sizes.size() == 2 && tree.nodes.size() == 1; }));
    search.SearchAgain();
    EXPECT_TRUE(tree.nodes.empty());
    EXPECT_TRUE(search.Devices().Empty());
    EXPECT_TRUE(search.Searching());
    ASSERT_TRUE(RunUntil([&] { return Ended(owner) && relay.sizes.size() == 6; }));
    // The first search is cut short after one acknowledgement; the new one runs whole and ends
    // once.
    EXPECT_EQ(relay.sizes, (std::vector<std::size_t>{153, 12, 153, 12, 12, 12}));
    EXPECT_EQ(tree.Render(), "QX19  at 10.1.2.3 running :App [2]\n");
    EXPECT_EQ(tree.selected, 1U);  // the first module of the new search is selected again
    EXPECT_EQ(owner.events, (Events{"changed", "changed", "ended"}));
}

TEST_F(Search, binds_the_fallback_port_silently_and_tells_once_when_neither_can_be_bound) {
    struct Case {
        const char* name;
        bool holdFirst, holdFallback;
        Events events;
        std::size_t heard;
    };
    const Case cases[] = {
        {"first held", true, false, {"changed", "ended"}, 4},
        {"both held", true, true, {"bind failed", "ended"}, 0},
    };
    for (const Case& c : cases) {
        LoopbackRelay relay;
        const auto holdFirst = c.holdFirst ? BoundUdp(relay.first) : omblor::platform::UniqueFd();
        const auto holdFallback =
            c.holdFallback ? BoundUdp(relay.fallback) : omblor::platform::UniqueFd();
        Owner owner;
        DiscoverySearch search(owner, relay.Ports());
        Shorten(search);
        search.Open();
        // A search without a socket still keeps its schedule and ends.
        ASSERT_TRUE(RunUntil([&] { return Ended(owner) && relay.sizes.size() == c.heard; }))
            << c.name;
        EXPECT_EQ(owner.events, c.events) << c.name;
        EXPECT_EQ(relay.senderPorts, std::vector<std::uint16_t>(c.heard, relay.fallback)) << c.name;
    }
}

}  // namespace
