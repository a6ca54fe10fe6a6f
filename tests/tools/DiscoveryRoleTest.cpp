// The discovery role's module file, reply bytes, safety rules and loopback exchange. Replies
// are read back with the program's own reader, so a field at the wrong offset shows here.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <set>
#include <variant>

#include "discovery/Datagrams.h"
#include "discovery/ReplyReader.h"
#include "module-sim/discovery/DiscoveryResponder.h"
#include "module-sim/discovery/NetworkScope.h"
#include "module-sim/discovery/SimulatedModule.h"
#include "net/CAsyncSocket.h"
#include "net/PollEventLoop.h"

namespace omblor::modulesim {
namespace {

using namespace std::string_literals;
using discovery::Ipv4Address;
using discovery::ParsedReply;

// The reply of a module file line, read back by the tool's own reader (throws if either refuses).
ParsedReply ReadBack(std::string_view line) {
    const SimulatedModule m =
        std::get<std::optional<SimulatedModule>>(ParseModuleLine(line)).value();
    return std::get<ParsedReply>(discovery::ReadReply(BuildReplyDatagram(m), m.source));
}

// Whole modules reach the tool's tree end to end; these are the spellings a module file allows.
TEST(ModuleFile, lines_become_the_replies_the_tool_reads_or_are_skipped_or_refused) {
    const struct {
        const char* line;
        bool marker;
        const char* platform;
        const char* application;
    } cases[] = {
        {"02-00-00-00-00-01 - 0 0.0.0.0 - QX19 - 10.0.0.1 0", false, "QX19", ""},
        {"02:00:00:00:00:01 - 0 0.0.0.0 - QX19 App 10.0.0.1 0", false, "QX19", ":App"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 0.0.0.0 - A 10.0.0.1 0", true, "", ":A"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - QX19\\x20512 my\\\\app 10.0.0.1 0", false, "QX19 512",
         ":my\\app"},
        {"  02-00-00-00-00-01\t-  0 0.0.0.0 - P A 10.0.0.1 0\r", false, "P", ":A"},
    };
    for (const auto& c : cases) {
        const auto parsed = ReadBack(c.line);
        EXPECT_EQ(parsed.record.HasActiveAddress(), c.marker) << c.line;
        EXPECT_EQ(parsed.record.DeviceIdentity(), discovery::MacAddress{}) << c.line;
        EXPECT_EQ(parsed.platformName, c.platform) << c.line;
        EXPECT_EQ(parsed.applicationText, c.application) << c.line;
    }
    // Blank and comment lines are skipped, bad ones refused.
    for (const char* line : {"", "   ", "# a comment"}) {
        const auto parsed = ParseModuleLine(line);
        ASSERT_TRUE(std::holds_alternative<std::optional<SimulatedModule>>(parsed)) << line;
        EXPECT_FALSE(std::get<std::optional<SimulatedModule>>(parsed).has_value()) << line;
    }
    for (const std::string& line :
         {"02-00-00-00-00-01 - 0 0.0.0.0 - P A 10.0.0.1"s,
          "02-00-00-00-00-0g - 0 0.0.0.0 - P A 10.0.0.1 0"s,
          "02-00-00-00-00-01 - 256 0.0.0.0 - P A 10.0.0.1 0"s,
          "02-00-00-00-00-01 - 0 0.0.0.0 - P\\x2 A 10.0.0.1 0"s,
          "02-00-00-00-00-01 - 0 0.0.0.0 - P A\\q 10.0.0.1 0"s,
          "02-00-00-00-00-01 - 0 0.0.0.0 - " + std::string(900, 'P') + " A 10.0.0.1 0"}) {
        EXPECT_TRUE(std::holds_alternative<ModuleLineError>(ParseModuleLine(line))) << line;
    }
}

TEST(NetworkScope, replies_go_only_to_single_hosts_and_off_loopback_only_in_a_namespace) {
    const struct {
        Ipv4Address to;
        bool loopbackOnly;
        bool inNamespace;
    } cases[] = {
        {{{127, 0, 0, 1}}, true, true},    {{{127, 6, 1, 2}}, true, true},
        {{{10, 77, 0, 9}}, false, true},   {{{255, 255, 255, 255}}, false, false},
        {{{10, 1, 2, 255}}, false, false}, {{{224, 0, 0, 1}}, false, false},
        {{{0, 0, 0, 0}}, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MayReplyTo(c.to, NetworkScope::LoopbackOnly), c.loopbackOnly) << c.to.Dotted();
        EXPECT_EQ(MayReplyTo(c.to, NetworkScope::PrivateNamespace), c.inNamespace) << c.to.Dotted();
    }
}

// The responder against a plain socket standing in for the tool, all on 127.0.0.1.
TEST(Responder, requests_and_the_acknowledgements_missing_modules_are_answered) {
    net::PollEventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    const platform::UniqueFd tool(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0));
    const sockaddr_in local = net::CAsyncSocket::MakeAddress(0x7F000001, 0);
    ASSERT_EQ(::bind(tool.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    DiscoveryOptions options;
    options.listen = discovery::kRelayAddress;
    options.port = 0;
    options.relay = true;
    options.answerAcks = AnswerAcks::Missing;
    std::vector<std::string> log;
    auto responder = std::make_unique<DiscoveryResponder>(
        options, GenerateModules(300, Ipv4Address{{10, 78, 0, 1}}), NetworkScope::LoopbackOnly,
        DiscoveryResponder::Callbacks{.on_event = [&](const std::string& l) { log.push_back(l); }});
    ASSERT_EQ(responder->Open(), std::nullopt);
    const auto send = [&](std::span<const std::uint8_t> bytes) {
        const sockaddr_in to = net::CAsyncSocket::MakeAddress(0x7F000001, responder->Port());
        ::sendto(tool.Get(), bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
    };
    // Pumps until `count` replies came or `turns` turns of about 2 ms passed.
    const auto receive = [&](std::size_t count, int turns = 2000) {
        std::vector<ParsedReply> got;
        for (int turn = 0; turn < turns && got.size() < count; ++turn) {
            loop.PumpOnce(std::chrono::milliseconds(2));
            std::uint8_t buffer[2048];
            for (ssize_t n; (n = ::recv(tool.Get(), buffer, sizeof buffer, 0)) > 0;) {
                auto reading = discovery::ReadReply(std::span(buffer, static_cast<std::size_t>(n)),
                                                    discovery::kRelayAddress);
                if (auto* reply = std::get_if<ParsedReply>(&reading)) got.push_back(*reply);
            }
        }
        return got;
    };

    send(discovery::BuildRequest());
    const auto replies = receive(300);
    ASSERT_EQ(replies.size(), 300U);
    // Generated modules: distinct sources and entries, each agreeing with its source.
    std::set<std::uint32_t> sources;
    std::set<std::uint32_t> entries;
    for (const auto& r : replies) {
        sources.insert(r.source.HostOrder());
        entries.insert(((r.record.InterfaceMac()[4] & 0x7FU) << 8) | r.record.InterfaceMac()[5]);
        EXPECT_TRUE(discovery::AgreesWithSource(r.record, r.source));
    }
    EXPECT_EQ(sources.size(), 300U);
    EXPECT_EQ(entries.size(), 300U);

    // The tool heard all but module 2 (module 3 flagged as not agreeing): only 2 answers again.
    std::vector<std::uint8_t> ack = {'T', 'R', 'V', '2', 'V'};
    for (unsigned n = 1; n <= 300; ++n) {
        if (n != 2)
            ack.insert(ack.end(), {std::uint8_t((n >> 8) | (n == 3 ? 0x80 : 0)), std::uint8_t(n)});
    }
    ack.insert(ack.end(), 5, 0);
    send(ack);
    const auto again = receive(1);
    ASSERT_EQ(again.size(), 1U);
    EXPECT_EQ(again[0].source, (Ipv4Address{{10, 78, 0, 2}}));
    EXPECT_NE(log.at(2).find("entries=299 flagged=1"), std::string::npos) << log.at(2);

    // Its own kind of datagram from someone else, or a short one, is not answered.
    send(std::vector<std::uint8_t>{'K', 'V', 'T', 'R', 'r'});
    send(std::vector<std::uint8_t>{'T', 'R', 'V', '2', 'V', 0});
    EXPECT_EQ(receive(1, 100).size(), 0U);
    EXPECT_EQ(responder->Counts().ignored, 2);
    EXPECT_EQ(responder->Pending(), 0U);
    responder.reset();
    net::EventLoop::SetCurrent(nullptr);
}

}  // namespace
}  // namespace omblor::modulesim
