#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <vector>

#include "net/PollEventLoop.h"
#include "net/UniqueFd.h"

using namespace std::chrono_literals;
using omblor::net::EventLoop;
using omblor::net::PollEventLoop;
using omblor::net::Repeat;

namespace {

struct LoopFixture : ::testing::Test {
    PollEventLoop loop;
    void SetUp() override { EventLoop::SetCurrent(&loop); }
    void TearDown() override { EventLoop::SetCurrent(nullptr); }
};

using PollLoop = LoopFixture;

TEST_F(PollLoop, stopped_timer_does_not_fire) {
    int fired = 0;
    const auto id = loop.StartTimer(1ms, Repeat::No, [&] { ++fired; });
    loop.StopTimer(id);
    // A handle given a new timer stops the one it held.
    omblor::net::ScopedTimer replaced(1ms, Repeat::No, [&] { ++fired; });
    int replacement = 0;
    replaced = omblor::net::ScopedTimer(1ms, Repeat::No, [&] { ++replacement; });
    bool done = false;
    loop.StartTimer(20ms, Repeat::No, [&] { done = true; });
    loop.RunUntil([&] { return done; });
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(replacement, 1);
}

TEST_F(PollLoop, periodic_timer_stops_itself_from_its_tick) {
    int ticks = 0;
    omblor::net::TimerId id = 0;
    id = loop.StartTimer(1ms, Repeat::Yes, [&] {
        if (++ticks == 3) loop.StopTimer(id);
    });
    bool done = false;
    loop.StartTimer(50ms, Repeat::No, [&] { done = true; });
    loop.RunUntil([&] { return done; });
    EXPECT_EQ(ticks, 3);
}

TEST_F(PollLoop, zero_interval_timer_runs_once_per_turn) {
    int ticks = 0;
    const auto id = loop.StartTimer(0ms, Repeat::Yes, [&] { ++ticks; });
    loop.PumpOnce(0ms);
    EXPECT_EQ(ticks, 1);
    loop.StopTimer(id);
}

TEST_F(PollLoop, posted_calls_run_in_order_and_nested_loops_keep_dispatching) {
    std::vector<int> order;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    omblor::net::UniqueFd r(fds[0]), w(fds[1]);
    bool readable = false;
    omblor::net::ScopedWatch watch(r.Get(), omblor::net::kFdRead, [&](int, unsigned) {
        readable = true;
        char c;
        ASSERT_EQ(::read(r.Get(), &c, 1), 1);
    });
    loop.Post([&] {
        order.push_back(1);
        // A modal loop opened from a handler still sees timers and fd readiness.
        bool ticked = false;
        loop.StartTimer(5ms, Repeat::No, [&] {
            ticked = true;
            ASSERT_EQ(::write(w.Get(), "x", 1), 1);
        });
        loop.RunUntil([&] { return ticked && readable; });
        order.push_back(3);
    });
    loop.Post([&] { order.push_back(2); });
    bool done = false;
    loop.Post([&] { loop.Post([&] { done = true; }); });
    loop.RunUntil([&] { return done; });
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

// Two loops with registrations of the same ids: whichever loop is current when a handle goes,
// it stops only its own registration, and handles outliving their loop do nothing.
TEST(LoopOwnership, handles_stop_on_their_own_loop_and_survive_it) {
    auto first = std::make_unique<PollEventLoop>();
    PollEventLoop second;
    int firstTicks = 0;
    int secondTicks = 0;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    omblor::net::UniqueFd r(fds[0]), w(fds[1]);
    ASSERT_EQ(::write(w.Get(), "x", 1), 1);
    int secondReads = 0;

    EventLoop::SetCurrent(first.get());
    auto firstTimer =
        std::make_unique<omblor::net::ScopedTimer>(1ms, Repeat::Yes, [&] { ++firstTicks; });
    auto firstWatch = std::make_unique<omblor::net::ScopedWatch>(r.Get(), omblor::net::kFdRead,
                                                                 [](int, unsigned) {});
    EventLoop::SetCurrent(&second);
    const omblor::net::ScopedTimer secondTimer(1ms, Repeat::Yes, [&] { ++secondTicks; });
    const omblor::net::ScopedWatch secondWatch(r.Get(), omblor::net::kFdRead,
                                               [&](int, unsigned) { ++secondReads; });
    // Destroyed while the second loop is current: the second loop's registrations stay.
    firstTimer.reset();
    firstWatch.reset();
    for (int turn = 0; turn < 100 && (secondTicks == 0 || secondReads == 0); ++turn) {
        second.PumpOnce(5ms);
        ::usleep(1000);
    }
    EXPECT_GT(secondTicks, 0);
    EXPECT_GT(secondReads, 0);
    first->PumpOnce(5ms);
    EXPECT_EQ(firstTicks, 0);

    // A loop that goes first leaves its handles harmless, and is no longer current.
    EventLoop::SetCurrent(first.get());
    omblor::net::ScopedTimer orphan(1ms, Repeat::Yes, [] {});
    omblor::net::PostedCalls posts(*first);
    first.reset();
    EXPECT_EQ(EventLoop::Current(), nullptr);
    orphan.Stop();
    posts.Post([] { FAIL() << "posted to a loop that has gone"; });
    EXPECT_FALSE(omblor::net::ScopedTimer(1ms, Repeat::No, [] {}).Active());
}

TEST(LoopOwnership, posted_calls_are_dropped_with_their_owner) {
    PollEventLoop loop;
    int ran = 0;
    auto owner = std::make_unique<omblor::net::PostedCalls>(loop);
    owner->Post([&] { ++ran; });
    owner->Post([&] { ++ran; });
    loop.PumpOnce(0ms);
    owner->Post([&] { ++ran; });
    owner.reset();
    loop.PumpOnce(0ms);
    EXPECT_EQ(ran, 2);
}

// A poll set the system refuses (here: more entries than the descriptor limit) must not stop
// timers and posted calls, or a nested loop would spin for ever.
TEST_F(PollLoop, timers_and_posts_run_when_poll_refuses_its_set) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<omblor::net::ScopedWatch> watches;
    for (int i = 0; i < 64; ++i)
        watches.emplace_back(0, omblor::net::kFdRead, [](int, unsigned) {});
    rlimit low = saved;
    low.rlim_cur = 32;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    bool ticked = false;
    bool posted = false;
    loop.StartTimer(5ms, Repeat::No, [&] { ticked = true; });
    loop.Post([&] { posted = true; });
    for (int turn = 0; turn < 50 && !(ticked && posted); ++turn) loop.PumpOnce(20ms);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(posted);
}

}  // namespace
