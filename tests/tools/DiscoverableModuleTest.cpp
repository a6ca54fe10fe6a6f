// Update modules that also answer the discovery search: each answers for its own address, goes
// quiet while it reboots after the reboot answer R, then answers with its new application name;
// one told D stays as it was. Broadcasts, so only inside a private network namespace.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <map>
#include <thread>
#include <variant>

#include "discovery/Datagrams.h"
#include "discovery/ReplyReader.h"
#include "module-sim/discovery/NetworkScope.h"
#include "platform/UniqueFd.h"
#include "support/RunProgram.h"
#include "support/ScratchDir.h"
#include "tools/ToolSide.h"

namespace {

using omblor::testing::BackgroundProgram;
using omblor::testing::PlayTool;

// One request broadcast; the answers within `wait`, as "MAC platform application" by address.
std::map<std::string, std::string> Search(std::chrono::milliseconds wait) {
    const omblor::platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int one = 1;
    ::setsockopt(fd.Get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(20034);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    const auto request = omblor::discovery::BuildRequest();
    ::sendto(fd.Get(), request.data(), request.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
    std::map<std::string, std::string> found;
    const auto end = std::chrono::steady_clock::now() + wait;
    for (auto now = std::chrono::steady_clock::now(); now < end;
         now = std::chrono::steady_clock::now()) {
        pollfd p{fd.Get(), POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now);
        if (::poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
        std::uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const auto n = ::recvfrom(fd.Get(), buffer, sizeof buffer, 0,
                                  reinterpret_cast<sockaddr*>(&from), &length);
        if (n <= 0) continue;
        const auto sender =
            omblor::discovery::Ipv4Address::FromHostOrder(ntohl(from.sin_addr.s_addr));
        const auto reading =
            omblor::discovery::ReadReply(std::span(buffer, static_cast<std::size_t>(n)), sender);
        const auto* reply = std::get_if<omblor::discovery::ParsedReply>(&reading);
        if (reply == nullptr) {
            ADD_FAILURE() << "a reply the tool would drop, from " << sender.Dotted();
            continue;
        }
        const auto& mac = reply->record.InterfaceMac();
        char text[32];
        std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2],
                      mac[3], mac[4], mac[5]);
        found[reply->source.Dotted()] =
            std::string(text) + " " + reply->platformName + " " + reply->applicationText;
    }
    return found;
}

bool Refused(const std::string& address) {
    return !PlayTool(address, 0).connected;
}

TEST(DiscoverableModule,
     answers_for_its_address_goes_quiet_while_rebooting_and_comes_back_renamed) {
    if (!omblor::modulesim::InPrivateNetwork()) {
        GTEST_SKIP() << "broadcasts only inside a private network namespace (scripts/test)";
    }
    omblor::testing::ScratchDir dir;
    const std::string variations =
        dir.Write("variations.txt", "127.0.62.2 --platform QX20 --application Pump\\x202\n");
    BackgroundProgram module(
        "module-sim", {"--address", "127.0.62.1", "--modules", "2", "--discoverable",
                       "--application", "Old", "--application-after", "New", "--reboot-seconds",
                       "1", "--variations", variations, "--timeout", "6"});
    ASSERT_TRUE(module.WaitForLine("listening"));

    const auto before = Search(std::chrono::milliseconds(300));
    EXPECT_EQ(before, (std::map<std::string, std::string>{
                          {"127.0.62.1", "02-00-7F-00-3E-01 QX19 :Old"},
                          {"127.0.62.2", "02-00-7F-00-3E-02 QX20 :Pump 2"}}));

    // It reboots on R: even before the tool has closed, the search no longer hears it.
    std::map<std::string, std::string> rebooting;
    EXPECT_EQ(
        PlayTool("127.0.62.1", 16, 'R', [&] { rebooting = Search(std::chrono::milliseconds(300)); })
            .codes,
        "100 102 103 325 350 375 400 105 106");
    EXPECT_EQ(PlayTool("127.0.62.2", 16, 'D').codes, "100 102 103 325 350 375 400 105 106");
    // Rebooting: neither a search nor a connection finds it; the one told D is still there.
    const std::map<std::string, std::string> onlyTheOther = {
        {"127.0.62.2", "02-00-7F-00-3E-02 QX20 :Pump 2"}};
    EXPECT_EQ(rebooting, onlyTheOther);
    EXPECT_EQ(Search(std::chrono::milliseconds(300)), onlyTheOther);
    EXPECT_TRUE(Refused("127.0.62.1"));

    std::map<std::string, std::string> after;
    for (int i = 0; i < 20 && after.size() < 2; ++i) after = Search(std::chrono::milliseconds(200));
    EXPECT_EQ(after, (std::map<std::string, std::string>{
                         {"127.0.62.1", "02-00-7F-00-3E-01 QX19 :New"},
                         {"127.0.62.2", "02-00-7F-00-3E-02 QX20 :Pump 2"}}));
    EXPECT_FALSE(Refused("127.0.62.1"));

    // Discoverable modules stay until the time limit; served as scripted, that is success.
    const auto r = module.Finish(std::chrono::seconds(20));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("summary connections=2 ok=2 status=ok exit=0"), std::string::npos)
        << r.out;
}

}  // namespace
