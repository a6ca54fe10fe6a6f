// The update socket against a scripted module on 127.0.0.1. How a closed stream ends the
// exchange is the session's tests.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "support/FakeHost.h"
#include "update/ScriptedModule.h"
#include "update/TarvikUpdateSocket.h"
#include "update/UpdateSocketOwner.h"

namespace {

using namespace std::chrono_literals;
using omblor::testing::kLoopback;
using omblor::testing::ScriptedModule;
using omblor::update::TarvikUpdateSocket;

// Records what the socket hands over; a handler may run a nested loop to mimic a modal box.
struct Owner final : omblor::update::UpdateSocketOwner {
    void OnModuleLine(std::int32_t code, char* line) override {
        codes.push_back(code);
        lines.emplace_back(line);
        if (during) during(code);
    }
    void OnSocketFailed(omblor::update::SocketFailure failure, int /*error*/,
                        std::string_view /*details*/) override {
        failures.push_back(failure);
    }
    void OnSocketNotMade(int error) override { notMade.push_back(error); }
    std::vector<std::int32_t> codes;
    std::vector<int> notMade;
    std::vector<std::string> lines;
    std::vector<omblor::update::SocketFailure> failures;
    std::function<void(std::int32_t)> during;
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
};

TEST_F(UpdateSocket, lines_arriving_together_or_split_are_framed_and_an_over_long_one_dropped) {
    ScriptedModule module({{0, "100 Platform:QX19:1.0\r\n102\r\n  250 Bad\r"}});
    TarvikUpdateSocket socket(owner, kLoopback, module.port);
    RunUntil([&] { return owner.codes.size() == 2; });
    module.Send("\n");
    RunUntil([&] { return owner.codes.size() == 3; });
    EXPECT_EQ(owner.lines[2], "  250 Bad");
    EXPECT_TRUE(owner.failures.empty());
    // The over-long line ends the update; the rest of it is dropped, the next line framed.
    module.Send("201 " + std::string(300, 'x') + "\r\n106\r\n");
    RunUntil([&] { return owner.codes.size() == 4; });
    EXPECT_EQ(owner.failures, std::vector<omblor::update::SocketFailure>{
                                  omblor::update::SocketFailure::LineTooLong});
    EXPECT_EQ(owner.codes, (std::vector<std::int32_t>{100, 102, 250, 106}));
}

TEST_F(UpdateSocket, a_line_arriving_while_a_handler_is_open_waits_for_it) {
    ScriptedModule module({{0, "101\r\n"}});
    TarvikUpdateSocket socket(owner, kLoopback, module.port);
    std::vector<std::int32_t> seenInside;
    owner.during = [&](std::int32_t code) {
        if (code != 101) return;
        // A modal box: the loop runs on, more bytes arrive, none may be framed meanwhile.
        module.Send("301\r\n");
        bool waited = false;
        omblor::net::ScopedTimer t(100ms, omblor::net::Repeat::No, [&] { waited = true; });
        host.loop.RunUntil([&] { return waited; });
        seenInside = owner.codes;
    };
    RunUntil([&] { return owner.codes.size() == 2; });
    EXPECT_EQ(seenInside, std::vector<std::int32_t>{101});
    EXPECT_EQ(owner.codes, (std::vector<std::int32_t>{101, 301}));
}

TEST_F(UpdateSocket, a_socket_that_cannot_be_made_is_told_with_its_error_number) {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers need free descriptors of their own for their checks.
    GTEST_SKIP() << "the sanitizers need descriptors of their own";
#endif
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit none = saved;
    none.rlim_cur = 3;  // nothing beyond the standard streams
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &none), 0);
    {
        const TarvikUpdateSocket socket(owner, kLoopback, 1);
        ::setrlimit(RLIMIT_NOFILE, &saved);
    }
    EXPECT_EQ(owner.notMade, std::vector<int>{EMFILE});
    EXPECT_TRUE(owner.failures.empty());  // the dialog's silence count ends the update
}

}  // namespace
