#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/Datagrams.h"
#include "discovery/DeviceList.h"
#include "discovery/FakeDeviceTree.h"
#include "discovery/ReplyBuilder.h"

namespace omblor::discovery {
namespace {

using testing::FakeDeviceTree;
using testing::Mac;
using testing::ReplyBuilder;
using Bytes = std::vector<std::uint8_t>;

constexpr Ipv4Address Addr(std::uint8_t last) {
    return Ipv4Address{{10, 1, 2, last}};
}
constexpr MacAddress kIdentity{0x02, 0, 0, 0, 0, 0x42};

// A module with a configured address that answers from it.
ReplyBuilder Configured(MacAddress mac, std::uint8_t last) {
    return ReplyBuilder{.mac = mac, .configured = Addr(last)};
}
// A reply and the address it was heard from.
struct Heard {
    ReplyBuilder reply;
    Ipv4Address source;
};

// One interface of the module kIdentity, heard from 10.1.2.<last>. When `agrees` is false it
// claims 10.1.2.98 (configured) and 10.1.2.99 (active) instead.
Heard Interface(std::uint8_t macLast, std::uint8_t type, std::uint8_t last, bool agrees = true) {
    return {ReplyBuilder{.mac = Mac(macLast),
                         .identity = kIdentity,
                         .type = type,
                         .configured = agrees ? Addr(last) : Addr(98),
                         .active = agrees ? Addr(last) : Addr(99)},
            Addr(last)};
}

struct DeviceListTest : ::testing::Test {
    AddOutcome Add(const ReplyBuilder& reply, Ipv4Address source) {
        return list.AddReply(reply.From(source));
    }
    AddOutcome Add(const Heard& heard) { return Add(heard.reply, heard.source); }
    // The interface bytes of the acknowledgement, without its frame.
    Bytes AckEntries() const {
        const Bytes ack = BuildAcknowledgement(list.AcknowledgementEntries());
        return Bytes(ack.begin() + 5, ack.end() - 5);
    }

    FakeDeviceTree tree;
    DeviceList list{tree};
};

TEST_F(DeviceListTest, list_is_in_key_order_tree_in_arrival_order_and_first_module_selected) {
    for (std::uint8_t key : {5, 9, 1}) {
        EXPECT_EQ(Add(Configured(Mac(key), key), Addr(key)), AddOutcome::NewModule);
    }
    EXPECT_EQ(tree.Render(),
              "QX19  at 10.1.2.5 running :App [2]\n"
              "QX19  at 10.1.2.9 running :App [2]\n"
              "QX19  at 10.1.2.1 running :App [2]\n");
    ASSERT_EQ(list.Modules().size(), 3U);
    EXPECT_EQ(list.Modules()[0]->deviceKey, Mac(9));
    EXPECT_EQ(list.Modules()[1]->deviceKey, Mac(5));
    EXPECT_EQ(list.Modules()[2]->deviceKey, Mac(1));
    EXPECT_EQ(AckEntries(), (Bytes{0, 9, 0, 5, 0, 1}));
    EXPECT_EQ(tree.selected, 1U);
    EXPECT_EQ(tree.selectCalls, 1);

    tree.DeleteAllItems();
    list.Clear();
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.RecordCount(), 0U);
    EXPECT_EQ(AckEntries(), Bytes{});
    Add(Configured(Mac(7), 7), Addr(7));
    EXPECT_EQ(tree.selected, 1U);
    EXPECT_EQ(tree.selectCalls, 2);
}

TEST_F(DeviceListTest, interfaces_of_one_module_are_grouped_in_arrival_order_each_with_its_item) {
    EXPECT_EQ(Add(Interface(0x20, 0, 3)), AddOutcome::NewModule);
    EXPECT_EQ(tree.Render(), "QX19  at 10.1.2.3 running :App [2]\n");

    EXPECT_EQ(Add(Interface(0x10, 1, 4, false)), AddOutcome::Grouped);
    EXPECT_EQ(tree.Render(),
              "QX19 running :App [1]\n"
              "  Ethernet at 10.1.2.3 [2]\n"
              "  WiFi at 10.1.2.99 [5]\n");

    EXPECT_EQ(Add(Interface(0x30, 2, 5)), AddOutcome::NewInterface);
    EXPECT_EQ(tree.Render(),
              "QX19 running :App [1]\n"
              "  Ethernet at 10.1.2.3 [2]\n"
              "  WiFi at 10.1.2.99 [5]\n"
              "  Ethernet2 at 10.1.2.5 [2]\n");
    // Arrival order, not MAC order; the red WiFi entry carries the flag.
    EXPECT_EQ(AckEntries(), (Bytes{0, 0x20, 0x80, 0x10, 0, 0x30}));
    EXPECT_EQ(list.Modules().size(), 1U);
    EXPECT_EQ(list.RecordCount(), 4U);
    // Every item refers to its own record.
    ASSERT_EQ(tree.nodes.size(), 4U);
    for (std::size_t item = 1; item <= tree.nodes.size(); ++item) {
        ASSERT_NE(tree.At(item).record, nullptr);
        EXPECT_EQ(tree.At(item).record->treeItem, item);
    }
}

TEST_F(DeviceListTest, repeated_replies_change_only_a_red_interface_answered_green) {
    struct Case {
        const char* name;
        std::vector<Heard> before;
        Heard repeat;
        AddOutcome outcome;
        std::string tree;
    };
    const std::vector<Case> cases{
        {"single module, red then green",
         {Interface(0x20, 0, 3, false)},
         Interface(0x20, 0, 3, true),
         AddOutcome::Ignored,
         "QX19  at 10.1.2.99 running :App [3]\n"},
        {"green interface answers red",
         {Interface(0x20, 0, 3), Interface(0x10, 1, 3)},
         Interface(0x10, 1, 3, false),
         AddOutcome::Ignored,
         "QX19 running :App [1]\n  Ethernet at 10.1.2.3 [2]\n  WiFi at 10.1.2.3 [4]\n"},
        {"red interface answers green",
         {Interface(0x20, 0, 3), Interface(0x10, 1, 4, false)},
         Interface(0x10, 1, 4, true),
         AddOutcome::ReplacedInterface,
         "QX19 running :App [1]\n  Ethernet at 10.1.2.3 [2]\n  WiFi at 10.1.2.4 [4]\n"},
        {"red interface answers red again",
         {Interface(0x20, 0, 3), Interface(0x10, 1, 4, false)},
         Interface(0x10, 1, 4, false),
         AddOutcome::NewInterface,
         "QX19 running :App [1]\n  Ethernet at 10.1.2.3 [2]\n  WiFi at 10.1.2.99 [5]\n"
         "  WiFi at 10.1.2.99 [5]\n"},
    };
    for (const Case& c : cases) {
        FakeDeviceTree caseTree;
        DeviceList caseList{caseTree};
        for (const Heard& h : c.before) caseList.AddReply(h.reply.From(h.source));
        EXPECT_EQ(caseList.AddReply(c.repeat.reply.From(c.repeat.source)), c.outcome) << c.name;
        EXPECT_EQ(caseTree.Render(), c.tree) << c.name;
    }
}

TEST_F(DeviceListTest, item_labels_follow_the_record_kind_and_address_mode) {
    const Ipv4Address dhcpSource{{192, 168, 1, 40}};
    EXPECT_EQ(ItemLabel(DeviceRecord(ReplyBuilder{.mac = Mac(1)}.From(dhcpSource))),
              "QX19 DHCP'd at 192.168.1.40 running :App");
    EXPECT_EQ(
        ItemLabel(DeviceRecord(ReplyBuilder{.configured = Addr(3), .texts = ""}.From(Addr(3)))),
        "  at 10.1.2.3 running ");
    // Interface forms, DHCP'd included.
    Add(Interface(0x20, 0, 3));
    Add(ReplyBuilder{.mac = Mac(0x10), .identity = kIdentity, .type = 4}, dhcpSource);
    EXPECT_EQ(tree.Render(),
              "QX19 running :App [1]\n"
              "  Ethernet at 10.1.2.3 [2]\n"
              "  WiFi DHCP'd at 192.168.1.40 [2]\n");
}

TEST_F(DeviceListTest, a_refused_tree_item_hides_the_entry_but_keeps_it_listed) {
    tree.refuseInserts = true;
    Add(Interface(0x20, 0, 3));
    tree.refuseInserts = false;
    // The group has no item, so its interfaces must not appear at the top level.
    Add(Interface(0x10, 1, 4));
    EXPECT_EQ(tree.Render(), "");
    EXPECT_EQ(tree.selectCalls, 0);
    EXPECT_EQ(AckEntries(), (Bytes{0, 0x20, 0, 0x10}));
}

TEST_F(DeviceListTest, stops_growing_at_its_limit) {
    // Descending keys append at the end of the list, which keeps this quick.
    std::size_t added = 0;
    for (std::size_t i = DeviceList::kMaxRecords + 1; i > 0; --i) {
        const auto reply =
            Configured(Mac(static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8)), 3);
        if (list.AddReply(reply.From(Addr(3))) == AddOutcome::NewModule) ++added;
    }
    EXPECT_EQ(added, DeviceList::kMaxRecords);
    EXPECT_EQ(list.RecordCount(), DeviceList::kMaxRecords);
}

}  // namespace
}  // namespace omblor::discovery
