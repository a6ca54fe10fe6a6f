// Runs AddReply with the n-th allocation failing, for every n until it succeeds, and checks that
// a reply dropped for lack of memory leaves the list as it was and the tree pointing only at
// live records. Its own executable, since it replaces the global operator new.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "discovery/Datagrams.h"
#include "discovery/DeviceList.h"
#include "discovery/FakeDeviceTree.h"
#include "discovery/ReplyBuilder.h"

namespace {
// Allocations still allowed before one fails; negative: never fail.
long allowedAllocations = -1;
}  // namespace

// The compiler takes these for the library's own pair and warns that free() does not match.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpragmas"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    if (allowedAllocations == 0) throw std::bad_alloc();
    if (allowedAllocations > 0) --allowedAllocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace omblor::discovery {
namespace {

using testing::FakeDeviceTree;
using testing::Mac;
using testing::ReplyBuilder;

constexpr MacAddress kIdentity{0x02, 0, 0, 0, 0, 0x42};
constexpr Ipv4Address kSource{{10, 1, 2, 3}};
// Long enough that copying them allocates.
const std::string kTexts("QX19-512-long-platform-name\0Long-application-name-here\0", 55);

ParsedReply Reply(std::uint8_t macLast, const MacAddress& identity, bool agrees) {
    return ReplyBuilder{.mac = Mac(macLast),
                        .identity = identity,
                        .configured = agrees ? kSource : Ipv4Address{{10, 9, 9, 9}},
                        .active = agrees ? kSource : Ipv4Address{{10, 9, 9, 8}},
                        .texts = kTexts}
        .From(kSource);
}

std::vector<std::uint8_t> AckOf(const DeviceList& list) {
    return BuildAcknowledgement(list.AcknowledgementEntries());
}

TEST(DeviceListAllocation, a_reply_dropped_for_memory_changes_nothing) {
    struct Case {
        const char* name;
        std::vector<ParsedReply> before;
        ParsedReply reply;
        AddOutcome outcome;
    };
    const std::vector<Case> cases{
        {"new module", {Reply(5, {}, true)}, Reply(9, {}, true), AddOutcome::NewModule},
        {"grouping", {Reply(5, kIdentity, true)}, Reply(6, kIdentity, true), AddOutcome::Grouped},
        {"new interface",
         {Reply(5, kIdentity, true), Reply(6, kIdentity, true)},
         Reply(7, kIdentity, true),
         AddOutcome::NewInterface},
        {"replacement",
         {Reply(5, kIdentity, true), Reply(6, kIdentity, false)},
         Reply(6, kIdentity, true),
         AddOutcome::ReplacedInterface},
    };
    for (const Case& c : cases) {
        bool succeeded = false;
        int drops = 0;
        for (long failAt = 0; !succeeded && failAt < 100; ++failAt) {
            FakeDeviceTree tree;
            DeviceList list{tree};
            for (const ParsedReply& r : c.before) list.AddReply(r);
            const auto ackBefore = AckOf(list);
            const std::size_t countBefore = list.RecordCount();

            allowedAllocations = failAt;
            const AddOutcome outcome = list.AddReply(c.reply);
            allowedAllocations = -1;

            if (outcome == AddOutcome::OutOfMemory) {
                ++drops;
                EXPECT_EQ(AckOf(list), ackBefore) << c.name << " failing at " << failAt;
                EXPECT_EQ(list.RecordCount(), countBefore) << c.name << " failing at " << failAt;
            } else {
                EXPECT_EQ(outcome, c.outcome) << c.name << " failing at " << failAt;
                succeeded = true;
            }
            for (std::size_t item = 1; item <= tree.nodes.size(); ++item) {
                if (tree.At(item).record == nullptr) continue;
                EXPECT_EQ(list.FindByItem(item), tree.At(item).record)
                    << c.name << " failing at " << failAt;
            }
        }
        EXPECT_TRUE(succeeded) << c.name;
        EXPECT_GT(drops, 0) << c.name << ": no allocation was made to fail";
    }
}

}  // namespace
}  // namespace omblor::discovery
