// The module-sim program itself: options, the lines scripts wait for, exit codes, and one
// whole exchange with a client in this process (the simulator runs as its own process).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "net/UniqueFd.h"
#include "support/RunProgram.h"

namespace {

using omblor::testing::BackgroundProgram;
using omblor::testing::RunProgram;

TEST(ModuleSimProgram, help_bad_options_and_the_time_limit_have_their_exit_codes) {
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // a part of stdout
    } cases[] = {
        {{"--help"}, 0, "usage: module-sim"},
        {{"--address", "192.168.1.1"}, 2, ""},
        {{"--bogus"}, 2, ""},
        {{"--port", "0", "--timeout", "0.2"},
         3,
         "summary connections=0 ok=0 status=timeout exit=3\n"},
    };
    for (const auto& c : cases) {
        const auto r = RunProgram("module-sim", c.args, "", {}, std::chrono::seconds(20));
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.front() << "\n" << r.out;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        if (c.exitCode == 2) {
            EXPECT_EQ(r.out, "");  // errors go to stderr
        }
    }
}

// A blocking client is fine here: the module is another process.
std::string ReadLine(int fd) {
    std::string line;
    char c = 0;
    while (::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (line.ends_with("\r\n")) break;
    }
    return line;
}

TEST(ModuleSimProgram, a_whole_exchange_ends_with_result_ok_and_exit_0) {
    // A loopback address of this test's own, so the fixed port is free even in parallel runs.
    const std::string address = "127.9." + std::to_string(::getpid() % 250) + ".7";
    BackgroundProgram sim("module-sim", {"--address", address, "--port", "20034", "--timeout", "20",
                                         "--progress", "350", "--expect-reboot", "D"});
    ASSERT_TRUE(sim.WaitForLine("listening " + address + ":20034"));

    omblor::net::UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(20034);
    ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    ASSERT_EQ(::connect(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    const std::string replies[] = {
        "", std::string("\x00\x01\x00\x00\x00\x00\x00\x02", 8), "ok", "", "D", ""};
    const std::string lines[] = {"100 Platform:QX19:1.0\r\n", "102 Send header\r\n",
                                 "103 Send image\r\n",        "350 Programming\r\n",
                                 "105 Reboot?\r\n",           "106 Programming complete\r\n"};
    for (std::size_t i = 0; i < std::size(lines); ++i) {
        EXPECT_EQ(ReadLine(fd.Get()), lines[i]);
        ASSERT_EQ(::send(fd.Get(), replies[i].data(), replies[i].size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(replies[i].size()));
    }
    fd.Reset();
    const auto r = sim.Finish(std::chrono::seconds(20));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("\nconnection 1 from 127.0.0.1:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nresult ok session=1 outcome=completed expected=completed at=complete "
                         "credentials=- header=ok base=0x00010000 length=2 image=2 reboot=D "
                         "received=11 image-ms="),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nsummary connections=1 ok=1 status=ok exit=0\n"), std::string::npos);
}

}  // namespace
