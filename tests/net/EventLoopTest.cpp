#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <vector>

#include "net/PollEventLoop.h"
#include "platform/UniqueFd.h"

using namespace std::chrono_literals;
using namespace omblor::net;
using omblor::platform::UniqueFd;

namespace {

struct PollLoop : ::testing::Test {
    PollEventLoop loop;
    void SetUp() override { EventLoop::SetCurrent(&loop); }
    void TearDown() override { EventLoop::SetCurrent(nullptr); }
};

TEST_F(PollLoop, timers_tick_once_per_turn_and_stop_when_asked) {
    int zeroTicks = 0;
    const auto zero = loop.StartTimer(0ms, Repeat::Yes, [&] { ++zeroTicks; });
    loop.PumpOnce(0ms);
    EXPECT_EQ(zeroTicks, 1);
    loop.StopTimer(zero);

    int fired = 0;
    loop.StopTimer(loop.StartTimer(1ms, Repeat::No, [&] { ++fired; }));
    // A handle given a new timer stops the one it held.
    ScopedTimer replaced(1ms, Repeat::No, [&] { ++fired; });
    int replacement = 0;
    replaced = ScopedTimer(1ms, Repeat::No, [&] { ++replacement; });
    int ticks = 0;
    TimerId id = 0;
    id = loop.StartTimer(1ms, Repeat::Yes, [&] {
        if (++ticks == 3) loop.StopTimer(id);
    });
    bool done = false;
    loop.StartTimer(50ms, Repeat::No, [&] { done = true; });
    loop.RunUntil([&] { return done; });
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(replacement, 1);
    EXPECT_EQ(ticks, 3);
}

TEST_F(PollLoop, posted_calls_run_in_order_and_nested_loops_keep_dispatching) {
    std::vector<int> order;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd r(fds[0]), w(fds[1]);
    bool readable = false;
    ScopedWatch watch(r.Get(), kFdRead, [&](int, unsigned) {
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

// Registrations of two loops share ids: a handle stops its own, whichever loop is current.
TEST(LoopOwnership, handles_stop_on_their_own_loop_and_survive_it) {
    auto first = std::make_unique<PollEventLoop>();
    PollEventLoop second;
    int firstTicks = 0, secondTicks = 0, secondReads = 0;
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    UniqueFd r(fds[0]), w(fds[1]);
    ASSERT_EQ(::write(w.Get(), "x", 1), 1);

    EventLoop::SetCurrent(first.get());
    auto firstTimer = std::make_unique<ScopedTimer>(1ms, Repeat::Yes, [&] { ++firstTicks; });
    auto firstWatch = std::make_unique<ScopedWatch>(r.Get(), kFdRead, [](int, unsigned) {});
    EventLoop::SetCurrent(&second);
    const ScopedTimer secondTimer(1ms, Repeat::Yes, [&] { ++secondTicks; });
    const ScopedWatch secondWatch(r.Get(), kFdRead, [&](int, unsigned) { ++secondReads; });
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

    // Calls posted through an owner are dropped with it.
    int ran = 0;
    auto owner = std::make_unique<PostedCalls>(second);
    owner->Post([&] { ++ran; });
    second.PumpOnce(0ms);
    owner->Post([&] { ++ran; });
    owner.reset();
    second.PumpOnce(0ms);
    EXPECT_EQ(ran, 1);

    // A loop that goes first leaves its handles harmless, and is no longer current.
    EventLoop::SetCurrent(first.get());
    ScopedTimer orphan(1ms, Repeat::Yes, [] {});
    PostedCalls posts(*first);
    first.reset();
    EXPECT_EQ(EventLoop::Current(), nullptr);
    orphan.Stop();
    posts.Post([] { FAIL() << "posted to a loop that has gone"; });
    EXPECT_FALSE(ScopedTimer(1ms, Repeat::No, [] {}).Active());
}

// A poll set the system refuses (here: more entries than the descriptor limit) must not stop
// timers and posted calls, or a nested loop would spin for ever.
TEST_F(PollLoop, timers_and_posts_run_when_poll_refuses_its_set) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    std::vector<ScopedWatch> watches;
    for (int i = 0; i < 64; ++i) watches.emplace_back(0, kFdRead, [](int, unsigned) {});
    const rlimit low{32, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    bool ticked = false, posted = false;
    loop.StartTimer(5ms, Repeat::No, [&] { ticked = true; });
    loop.Post([&] { posted = true; });
    for (int turn = 0; turn < 50 && !(ticked && posted); ++turn) loop.PumpOnce(20ms);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_TRUE(ticked);
    EXPECT_TRUE(posted);
}

}  // namespace
