#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "discovery/Datagrams.h"
#include "discovery/ReplyBuilder.h"
#include "discovery/ReplyReader.h"
#include "discovery/ReplyRecord.h"

namespace omblor::discovery {
namespace {

using testing::Mac;
using testing::ReplyBuilder;
using Bytes = std::vector<std::uint8_t>;

constexpr Ipv4Address kModule{{10, 1, 2, 3}};
constexpr Ipv4Address kElsewhere{{10, 9, 9, 9}};
constexpr Ipv4Address kZero{};
constexpr Ipv4Address kTrailer{{10, 0, 0, 7}};

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(Request, is_magic_type_and_148_zero_bytes) {
    Bytes expected{'T', 'R', 'V', 'K', 'R'};
    expected.resize(153, 0);
    const auto request = BuildRequest();
    EXPECT_EQ(Bytes(request.begin(), request.end()), expected);
}

TEST(Acknowledgement, names_interfaces_with_the_disagreement_flag_and_keeps_745_in_1500_bytes) {
    const ReplyRecord agreeing = ReplyBuilder{.mac = Mac(0x34, 0x12)}.From(kModule).record;
    // Marker set and neither address is the source.
    const ReplyRecord disagreeing =
        ReplyBuilder{.mac = Mac(0x34, 0x12), .configured = kElsewhere, .active = kElsewhere}
            .From(kModule)
            .record;
    const Bytes frame{'T', 'R', 'V', '2', 'V'};
    const Bytes end(5, 0);
    EXPECT_EQ(BuildAcknowledgement({}), Concat(frame, end));
    // Flagged only when not agreeing, in the given order.
    EXPECT_EQ(
        BuildAcknowledgement(std::vector<AckEntry>{{&disagreeing, kModule}, {&agreeing, kModule}}),
        Concat(Concat(frame, {0x92, 0x34, 0x12, 0x34}), end));
    const Bytes full = BuildAcknowledgement(std::vector<AckEntry>(800, {&agreeing, kModule}));
    ASSERT_EQ(full.size(), 1500U);
    EXPECT_EQ(Bytes(full.end() - 7, full.end()), (Bytes{0x12, 0x34, 0, 0, 0, 0, 0}));
}

TEST(ReplyReader, takes_platform_name_and_application_text_by_their_rules) {
    const std::string hundred(100, 'P');
    struct Case {
        const char* name;
        std::string texts;
        std::string platform;
        std::string application;
    };
    const std::vector<Case> cases{
        {"fixed part only", "", "", ""},
        {"Unknown application", std::string("QX19\0Unknown\0", 13), "QX19", ""},
        {"one-character application", std::string("QX19\0A\0", 7), "QX19", ":A"},
        {"application without its NUL", std::string("QX19\0AB", 7), "QX19", ":AB"},
        {"single byte after the NUL", std::string("QX19\0A", 6), "QX19", ""},
        {"platform without NUL", "QX19", "QX19", ""},
        {"empty application name", std::string("QX19\0\0\0", 7), "QX19", ":"},
        {"100-character platform", hundred + std::string("\0App\0", 5), hundred.substr(0, 79),
         ":App"},
        {"application cut to 199", std::string("Q\0", 2) + std::string(300, 'a'), "Q",
         ":" + std::string(199, 'a')},
    };
    for (const Case& c : cases) {
        const ParsedReply reply = ReplyBuilder{.texts = c.texts}.From(kModule);
        EXPECT_EQ(reply.platformName, c.platform) << c.name;
        EXPECT_EQ(reply.applicationText, c.application) << c.name;
    }
}

TEST(ReplyReader, drops_each_malformed_datagram_for_its_own_reason_and_takes_relayed_sources) {
    const Bytes good = ReplyBuilder{}.Datagram();
    Bytes wrongMagic = good;
    wrongMagic[3] = 'X';
    const Bytes fixedOnly(good.begin(), good.begin() + 153);
    const Bytes relayedFixedOnly = Concat(fixedOnly, {10, 0, 0, 7});
    struct Case {
        const char* name;
        Bytes datagram;
        Ipv4Address sender;
        ReplyDrop expected;
    };
    const std::vector<Case> cases{
        {"relay without trailer", {'K', 'V', 'T'}, kRelayAddress, ReplyDrop::MissingRelayTrailer},
        {"empty", {}, kModule, ReplyDrop::WrongMagic},
        {"wrong magic", wrongMagic, kModule, ReplyDrop::WrongMagic},
        {"fixed part cut short", Bytes(good.begin(), good.begin() + 152), kModule,
         ReplyDrop::Truncated},
        {"relayed, short once the trailer is off", Bytes(good.begin(), good.begin() + 155),
         kRelayAddress, ReplyDrop::Truncated},
        {"record length below 148", ReplyBuilder{.recordLength = 147}.Datagram(), kModule,
         ReplyDrop::BadRecordLength},
        {"record length past the end", ReplyBuilder{.recordLength = 149, .texts = ""}.Datagram(),
         kModule, ReplyDrop::BadRecordLength},
        // The trailer is not part of the record either.
        {"record length reaching into the trailer",
         Concat(ReplyBuilder{.recordLength = 152, .texts = ""}.Datagram(), {10, 0, 0, 7}),
         kRelayAddress, ReplyDrop::BadRecordLength},
    };
    for (const Case& c : cases) {
        const auto reading = ReadReply(c.datagram, c.sender);
        const auto* drop = std::get_if<ReplyDrop>(&reading);
        ASSERT_NE(drop, nullptr) << c.name;
        EXPECT_EQ(*drop, c.expected) << c.name;
    }
    // The edges that are still accepted.
    EXPECT_TRUE(std::holds_alternative<ParsedReply>(ReadReply(fixedOnly, kModule)));
    EXPECT_TRUE(std::holds_alternative<ParsedReply>(ReadReply(relayedFixedOnly, kRelayAddress)));
    // A relayed reply takes its source from the trailer, which is not part of the texts; only
    // 127.0.0.1 relays, the same bytes from elsewhere keep their sender.
    const Bytes relayed = Concat(good, {10, 0, 0, 7});
    EXPECT_EQ(std::get<ParsedReply>(ReadReply(relayed, kRelayAddress)).source, kTrailer);
    EXPECT_EQ(std::get<ParsedReply>(ReadReply(relayed, kRelayAddress)).applicationText, ":App");
    EXPECT_EQ(std::get<ParsedReply>(ReadReply(relayed, {{127, 0, 0, 2}})).source,
              (Ipv4Address{{127, 0, 0, 2}}));
    EXPECT_TRUE(std::holds_alternative<ParsedReply>(
        ReadReply(ReplyBuilder{.recordLength = 157}.Datagram(), kModule)));
}

TEST(AddressRules, agreement_and_usable_address) {
    constexpr Ipv4Address kActive{{192, 168, 1, 5}};
    struct Case {
        const char* name;
        Ipv4Address configured;
        std::optional<Ipv4Address> active;
        bool agrees;
        Ipv4Address usable;
    };
    const std::vector<Case> cases{
        {"no marker, configured elsewhere", kElsewhere, std::nullopt, true, kModule},
        {"active is the source", kElsewhere, kModule, true, kModule},
        {"configured is the source", kModule, kElsewhere, true, kModule},
        {"both elsewhere", kElsewhere, kActive, false, kActive},
        {"both elsewhere, no active", kElsewhere, kZero, false, kElsewhere},
        {"no address at all", kZero, kZero, false, kZero},
    };
    for (const Case& c : cases) {
        const ReplyRecord record =
            ReplyBuilder{.configured = c.configured, .active = c.active}.From(kModule).record;
        EXPECT_EQ(AgreesWithSource(record, kModule), c.agrees) << c.name;
        EXPECT_EQ(UsableAddress(record, kModule), c.usable) << c.name;
    }
}

TEST(CompareMac, orders_bytes_as_unsigned_from_the_first) {
    struct Case {
        MacAddress a;
        MacAddress b;
        int expected;
    };
    const std::vector<Case> cases{
        {{2, 0, 0, 0, 0, 1}, {2, 0, 0, 0, 0, 2}, -1},
        {{2, 0, 0, 0, 0, 2}, {2, 0, 0, 0, 0, 2}, 0},
        {{0x80, 0, 0, 0, 0, 0}, {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 1},
        {{0, 0xFF, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}, -1},
    };
    for (const Case& c : cases) EXPECT_EQ(CompareMac(c.a, c.b), c.expected);
}

}  // namespace
}  // namespace omblor::discovery
