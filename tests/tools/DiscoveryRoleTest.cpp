// The discovery role's module file, reply bytes, safety rules and loopback exchange. Replies
// are read back with the program's own reader, so a field at the wrong offset shows here.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <set>
#include <variant>

#include "discovery/Datagrams.h"
#include "discovery/ReplyReader.h"
#include "module-sim/discovery/DiscoveryOptions.h"
#include "module-sim/discovery/DiscoveryResponder.h"
#include "module-sim/discovery/NetworkScope.h"
#include "module-sim/discovery/SimulatedModule.h"
#include "net/CAsyncSocket.h"
#include "net/PollEventLoop.h"

namespace omblor::modulesim {
namespace {

using discovery::Ipv4Address;
using discovery::ParsedReply;

ParsedReply ReadBack(const SimulatedModule& m) {
    const auto datagram = BuildReplyDatagram(m);
    auto reading = discovery::ReadReply(datagram, m.source);
    EXPECT_TRUE(std::holds_alternative<ParsedReply>(reading));
    return std::get<ParsedReply>(reading);
}

SimulatedModule Parse(std::string_view line) {
    auto parsed = ParseModuleLine(line);
    EXPECT_TRUE(std::holds_alternative<std::optional<SimulatedModule>>(parsed)) << line;
    const auto& module = std::get<std::optional<SimulatedModule>>(parsed);
    EXPECT_TRUE(module.has_value()) << line;
    return module.value_or(SimulatedModule{});
}

TEST(ModuleFile, a_full_line_becomes_the_reply_the_tool_reads) {
    const auto m =
        Parse("02-00-00-00-12-34 0a:0b:0c:0d:0e:0f 1 10.1.2.3 10.1.2.4 QX19 App 10.1.2.5 250");
    const auto reply = ReadBack(m);
    EXPECT_EQ(reply.record.InterfaceMac(), (discovery::MacAddress{2, 0, 0, 0, 0x12, 0x34}));
    EXPECT_EQ(reply.record.DeviceIdentity(), (discovery::MacAddress{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(reply.record.InterfaceType(), 1);
    EXPECT_EQ(reply.record.ConfiguredAddress(), (Ipv4Address{{10, 1, 2, 3}}));
    ASSERT_TRUE(reply.record.HasActiveAddress());
    EXPECT_EQ(reply.record.ActiveAddress(), (Ipv4Address{{10, 1, 2, 4}}));
    EXPECT_EQ(reply.record.RecordLength(), discovery::ReplyRecord::kSize);
    EXPECT_EQ(reply.platformName, "QX19");
    EXPECT_EQ(reply.applicationText, ":App");
    EXPECT_EQ(m.source, (Ipv4Address{{10, 1, 2, 5}}));
    EXPECT_EQ(m.delay, std::chrono::milliseconds(250));
}

TEST(ModuleFile, optional_fields_and_texts) {
    struct Case {
        const char* line;
        bool marker;
        const char* platform;
        const char* application;
    };
    const Case cases[] = {
        {"02-00-00-00-00-01 - 0 0.0.0.0 - QX19 - 10.0.0.1 0", false, "QX19", ""},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - QX19 Unknown 10.0.0.1 0", false, "QX19", ""},
        {"02-00-00-00-00-01 - 0 0.0.0.0 0.0.0.0 - A 10.0.0.1 0", true, "", ":A"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - QX19\\x20512 my\\\\app 10.0.0.1 0", false, "QX19 512",
         ":my\\app"},
        {"  02-00-00-00-00-01\t-  0 0.0.0.0 - P A 10.0.0.1 0\r", false, "P", ":A"},
    };
    for (const auto& c : cases) {
        const auto reply = ReadBack(Parse(c.line));
        EXPECT_EQ(reply.record.HasActiveAddress(), c.marker) << c.line;
        EXPECT_EQ(reply.record.DeviceIdentity(), discovery::MacAddress{}) << c.line;
        EXPECT_EQ(reply.platformName, c.platform) << c.line;
        EXPECT_EQ(reply.applicationText, c.application) << c.line;
    }
}

TEST(ModuleFile, blank_and_comment_lines_are_skipped_and_bad_fields_named) {
    for (const char* line :
         {"", "   ", "# a comment", "#02-00-00-00-00-01 - 0 0.0.0.0 - P A 10.0.0.1 0"}) {
        const auto parsed = ParseModuleLine(line);
        ASSERT_TRUE(std::holds_alternative<std::optional<SimulatedModule>>(parsed)) << line;
        EXPECT_FALSE(std::get<std::optional<SimulatedModule>>(parsed).has_value()) << line;
    }
    struct Case {
        const char* line;
        const char* reason;
    };
    const Case cases[] = {
        {"02-00-00-00-00-01 - 0 0.0.0.0 - P A 10.0.0.1", "expected 9 fields"},
        {"02-00-00-00-00 - 0 0.0.0.0 - P A 10.0.0.1 0", "bad MAC"},
        {"02-00-00-00-00-0g - 0 0.0.0.0 - P A 10.0.0.1 0", "bad MAC"},
        {"02-00-00-00-00-01 x 0 0.0.0.0 - P A 10.0.0.1 0", "bad identity"},
        {"02-00-00-00-00-01 - 256 0.0.0.0 - P A 10.0.0.1 0", "bad type"},
        {"02-00-00-00-00-01 - 0 10.0.0 - P A 10.0.0.1 0", "bad configured"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 1.2.3.400 P A 10.0.0.1 0", "bad active"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - P\\x2 A 10.0.0.1 0", "bad platform"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - P A\\q 10.0.0.1 0", "bad application"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - P A 10.0.0.1. 0", "bad source"},
        {"02-00-00-00-00-01 - 0 0.0.0.0 - P A 10.0.0.1 -5", "bad delay"},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseModuleLine(c.line);
        ASSERT_TRUE(std::holds_alternative<ModuleLineError>(parsed)) << c.line;
        EXPECT_TRUE(std::get<ModuleLineError>(parsed).reason.starts_with(c.reason))
            << c.line << " -> " << std::get<ModuleLineError>(parsed).reason;
    }
    const std::string tooLong =
        "02-00-00-00-00-01 - 0 0.0.0.0 - " + std::string(900, 'P') + " A 10.0.0.1 0";
    EXPECT_TRUE(std::holds_alternative<ModuleLineError>(ParseModuleLine(tooLong)));
}

TEST(ModuleFile, generated_modules_have_distinct_entries_and_agree_with_their_sources) {
    const auto modules = GenerateModules(2000, Ipv4Address{{10, 78, 0, 1}});
    ASSERT_EQ(modules.size(), 2000U);
    std::set<std::uint32_t> keys;
    std::set<std::uint32_t> sources;
    for (const auto& m : modules) {
        keys.insert(((m.mac[4] & 0x7FU) << 8) | m.mac[5]);
        sources.insert(m.source.HostOrder());
        EXPECT_TRUE(discovery::AgreesWithSource(ReadBack(m).record, m.source));
    }
    EXPECT_EQ(keys.size(), 2000U);
    EXPECT_EQ(sources.size(), 2000U);
    EXPECT_EQ(modules.back().source, (Ipv4Address{{10, 78, 7, 208}}));
}

TEST(DiscoveryOptions, bad_command_lines_are_refused) {
    const std::vector<std::vector<std::string>> bad = {
        {"--generate", "32768"},
        {"--generate"},
        {"--port", "0"},
        {"--answer-acks", "some"},
        {"--listen", "localhost"},
        {"--timeout", "0"},
        {"--rate", "-1"},
        {"--bogus", "1"},
        {"stray"},
    };
    for (const auto& args : bad) {
        EXPECT_FALSE(ParseDiscoveryOptions(args).error.empty()) << args[0];
    }
    const std::vector<std::string> good = {"--modules",     "a",       "--modules", "b", "--relay",
                                           "--answer-acks", "missing", "--timeout", "5"};
    const auto parsed = ParseDiscoveryOptions(good);
    EXPECT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.moduleFiles.size(), 2U);
    EXPECT_TRUE(parsed.options.relay);
    EXPECT_EQ(parsed.options.answerAcks, AnswerAcks::Missing);
    EXPECT_EQ(parsed.options.timeout, std::chrono::seconds(5));
}

TEST(NetworkScope, replies_go_only_to_single_hosts_and_off_loopback_only_in_a_namespace) {
    struct Case {
        Ipv4Address to;
        bool loopbackOnly;
        bool inNamespace;
    };
    const Case cases[] = {
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
class Responder : public ::testing::Test {
  protected:
    void SetUp() override {
        net::EventLoop::SetCurrent(&loop_);
        tool_ = net::UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0));
        const sockaddr_in local = net::CAsyncSocket::MakeAddress(0x7F000001, 0);
        ASSERT_EQ(::bind(tool_.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
        options_.listen = discovery::kRelayAddress;
        options_.port = 0;
        options_.relay = true;
    }
    void TearDown() override {
        responder_.reset();
        net::EventLoop::SetCurrent(nullptr);
    }
    void Start(std::vector<SimulatedModule> modules) {
        responder_ = std::make_unique<DiscoveryResponder>(
            options_, std::move(modules), NetworkScope::LoopbackOnly,
            DiscoveryResponder::Callbacks{
                .on_event = [this](const std::string& line) { log_.push_back(line); }});
        ASSERT_EQ(responder_->Open(), std::nullopt);
    }
    void Send(std::span<const std::uint8_t> bytes) {
        const sockaddr_in to = net::CAsyncSocket::MakeAddress(0x7F000001, responder_->Port());
        ASSERT_EQ(::sendto(tool_.Get(), bytes.data(), bytes.size(), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to),
                  static_cast<ssize_t>(bytes.size()));
    }
    // Pumps until `count` replies came, or `turns` turns of about 2 ms passed (the default is
    // generous for a loaded machine; a check that nothing comes uses a short one).
    std::vector<ParsedReply> Receive(std::size_t count, int turns = 2000) {
        std::vector<ParsedReply> got;
        for (int turn = 0; turn < turns && got.size() < count; ++turn) {
            loop_.PumpOnce(std::chrono::milliseconds(2));
            std::uint8_t buffer[2048];
            sockaddr_in from{};
            socklen_t length = sizeof from;
            ssize_t n = 0;
            while ((n = ::recvfrom(tool_.Get(), buffer, sizeof buffer, 0,
                                   reinterpret_cast<sockaddr*>(&from), &length)) > 0) {
                EXPECT_EQ(ntohl(from.sin_addr.s_addr), 0x7F000001U);
                auto reading = discovery::ReadReply(std::span(buffer, static_cast<std::size_t>(n)),
                                                    discovery::kRelayAddress);
                if (auto* reply = std::get_if<ParsedReply>(&reading)) got.push_back(*reply);
            }
        }
        return got;
    }

    net::PollEventLoop loop_;
    net::UniqueFd tool_;
    DiscoveryOptions options_;
    std::unique_ptr<DiscoveryResponder> responder_;
    std::vector<std::string> log_;
};

TEST_F(Responder, a_request_is_answered_by_every_module_through_the_relay) {
    Start(GenerateModules(300, Ipv4Address{{10, 78, 0, 1}}));
    Send(discovery::BuildRequest());
    const auto replies = Receive(300);
    ASSERT_EQ(replies.size(), 300U);
    std::set<std::uint32_t> sources;
    for (const auto& r : replies) sources.insert(r.source.HostOrder());
    EXPECT_EQ(sources.size(), 300U);
    EXPECT_TRUE(sources.contains(Ipv4Address{{10, 78, 0, 1}}.HostOrder()));
    EXPECT_EQ(responder_->Counts().requests, 1);
    EXPECT_EQ(responder_->Counts().replies, 300);
    EXPECT_EQ(responder_->Pending(), 0U);
}

TEST_F(Responder, acknowledgements_are_answered_only_when_asked_and_by_what_they_miss) {
    options_.answerAcks = AnswerAcks::Missing;
    Start(GenerateModules(3, Ipv4Address{{10, 78, 0, 1}}));
    // The tool heard modules 1 and 3 (3 flagged as not agreeing): only 2 answers again.
    const std::vector<std::uint8_t> ack = {'T',  'R',  'V', '2', 'V', 0x00, 0x01,
                                           0x80, 0x03, 0,   0,   0,   0,    0};
    Send(ack);
    const auto replies = Receive(1);
    ASSERT_EQ(replies.size(), 1U);
    EXPECT_EQ(replies[0].source, (Ipv4Address{{10, 78, 0, 2}}));
    EXPECT_EQ(Receive(1, 100).size(), 0U);
    EXPECT_EQ(responder_->Counts().acknowledgements, 1);
    EXPECT_NE(log_.at(0).find("entries=2 flagged=1"), std::string::npos) << log_.at(0);

    // Its own kind of datagram from someone else, or a short one, is not answered.
    Send(std::vector<std::uint8_t>{'K', 'V', 'T', 'R', 'r'});
    Send(std::vector<std::uint8_t>{'T', 'R', 'V', '2', 'V', 0});
    EXPECT_EQ(Receive(1, 100).size(), 0U);
    EXPECT_EQ(responder_->Counts().ignored, 2);
}

TEST_F(Responder, replies_wait_for_their_delay_and_come_in_delay_order) {
    auto modules = GenerateModules(2, Ipv4Address{{10, 78, 0, 1}});
    modules[0].delay = std::chrono::milliseconds(200);
    Start(modules);
    Send(discovery::BuildRequest());
    const auto replies = Receive(2);
    ASSERT_EQ(replies.size(), 2U);
    EXPECT_EQ(replies[0].source, (Ipv4Address{{10, 78, 0, 2}}));
    EXPECT_EQ(replies[1].source, (Ipv4Address{{10, 78, 0, 1}}));
}

}  // namespace
}  // namespace omblor::modulesim
