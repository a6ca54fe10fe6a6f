// The update socket against a listener on 127.0.0.1 that the test drives byte by byte.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/UniqueFd.h"
#include "support/FakeHost.h"
#include "update/TarvikUpdateSocket.h"
#include "update/UpdateSocketOwner.h"

namespace {

using namespace std::chrono_literals;
using omblor::net::UniqueFd;
using omblor::update::TarvikUpdateSocket;

constexpr std::uint32_t kLoopback = 0x7F000001;

// Records what the socket hands over; a handler may run a nested loop to mimic a modal box.
struct Owner final : omblor::update::UpdateSocketOwner {
    void OnModuleLine(std::int32_t code, char* line) override {
        codes.push_back(code);
        lines.emplace_back(line);
        if (during) during(code);
    }
    void EndWithError(std::string_view text) override { errors.emplace_back(text); }
    void OnNotice(std::string_view text) override { notices.emplace_back(text); }
    std::vector<std::int32_t> codes;
    std::vector<std::string> notices;
    std::vector<std::string> lines;
    std::vector<std::string> errors;
    std::function<void(std::int32_t)> during;
};

struct Listener {
    Listener() {
        fd.Reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(kLoopback);
        EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        EXPECT_EQ(::listen(fd.Get(), 1), 0);
        socklen_t len = sizeof a;
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    void Accept() { peer.Reset(::accept(fd.Get(), nullptr, nullptr)); }
    void Write(std::string_view bytes) const {
        ASSERT_EQ(::write(peer.Get(), bytes.data(), bytes.size()),
                  static_cast<ssize_t>(bytes.size()));
    }
    UniqueFd fd;
    UniqueFd peer;
    std::uint16_t port = 0;
};

class UpdateSocket : public ::testing::Test {
protected:
    // Runs the loop until `done` or a generous bound (the loop, not the clock, is under test).
    void RunUntil(const std::function<bool()>& done) {
        bool expired = false;
        omblor::net::ScopedTimer guard(5s, omblor::net::Repeat::No, [&] { expired = true; });
        host.loop.RunUntil([&] { return done() || expired; });
        EXPECT_FALSE(expired);
    }
    omblor::testing::FakeHost host;
    Owner owner;
    Listener listener;
};

TEST_F(UpdateSocket, lines_arriving_together_or_split_are_framed_in_order) {
    TarvikUpdateSocket socket(owner, kLoopback, listener.port);
    listener.Accept();
    listener.Write("100 Platform:QX19:1.0\r\n102\r\n  250 Bad\r");
    RunUntil([&] { return owner.codes.size() == 2; });
    listener.Write("\n");
    RunUntil([&] { return owner.codes.size() == 3; });
    EXPECT_EQ(owner.codes, (std::vector<std::int32_t>{100, 102, 250}));
    EXPECT_EQ(owner.lines[2], "  250 Bad");
    EXPECT_TRUE(owner.errors.empty());
}

TEST_F(UpdateSocket, a_line_arriving_while_a_handler_is_open_waits_for_it) {
    TarvikUpdateSocket socket(owner, kLoopback, listener.port);
    listener.Accept();
    std::vector<std::int32_t> seenInside;
    owner.during = [&](std::int32_t code) {
        if (code != 101) return;
        // A modal box: the loop runs on, more bytes arrive, none may be framed meanwhile.
        listener.Write("301\r\n");
        bool waited = false;
        omblor::net::ScopedTimer t(100ms, omblor::net::Repeat::No, [&] { waited = true; });
        host.loop.RunUntil([&] { return waited; });
        seenInside = owner.codes;
    };
    listener.Write("101\r\n");
    RunUntil([&] { return owner.codes.size() == 2; });
    EXPECT_EQ(seenInside, std::vector<std::int32_t>{101});
    EXPECT_EQ(owner.codes, (std::vector<std::int32_t>{101, 301}));
}

TEST_F(UpdateSocket, an_over_long_line_ends_the_update_and_the_rest_is_dropped) {
    TarvikUpdateSocket socket(owner, kLoopback, listener.port);
    listener.Accept();
    listener.Write("201 " + std::string(300, 'x') + "\r\n106\r\n");
    RunUntil([&] { return !owner.codes.empty(); });
    EXPECT_EQ(owner.errors, std::vector<std::string>{" Line too long"});
    EXPECT_EQ(owner.codes, std::vector<std::int32_t>{106});
}

TEST_F(UpdateSocket, a_socket_that_cannot_be_made_is_told_with_its_error_number) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers probe memory through a pipe of their own, which a process without free
    // descriptors cannot make: their checks then fail, not the code under test.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 3;  // nothing beyond the standard streams
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    {
        const TarvikUpdateSocket socket(owner, kLoopback, listener.port);
        ::setrlimit(RLIMIT_NOFILE, &saved);
    }
    EXPECT_EQ(owner.notices, std::vector<std::string>{"Error on Connect = 24 for 0"});
    EXPECT_TRUE(owner.errors.empty());  // the dialog's silence count ends the update
}

TEST_F(UpdateSocket, peer_close_stops_reading_without_a_message) {
    TarvikUpdateSocket socket(owner, kLoopback, listener.port);
    listener.Accept();
    listener.Write("100 a\r\n");
    RunUntil([&] { return owner.codes.size() == 1; });
    listener.peer.Reset();
    bool waited = false;
    omblor::net::ScopedTimer t(100ms, omblor::net::Repeat::No, [&] { waited = true; });
    RunUntil([&] { return waited; });
    EXPECT_TRUE(owner.errors.empty());
    EXPECT_TRUE(host.messages.empty());
}

}  // namespace
