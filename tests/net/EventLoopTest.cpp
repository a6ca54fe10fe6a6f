#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
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
    bool done = false;
    loop.StartTimer(20ms, Repeat::No, [&] { done = true; });
    loop.RunUntil([&] { return done; });
    EXPECT_EQ(fired, 0);
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

}  // namespace
