// The window-message event loop: timers and posted calls, socket notifications that Winsock
// queued before their socket closed, and delivery inside a message box's own modal loop (that
// case needs a display and skips without one).
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "framework/WinTypes.h"
#include "net/CAsyncSocket.h"
#include "net/SocketService.h"
#include "net/Win32EventLoop.h"

using namespace std::chrono_literals;
using namespace omblor::net;
using omblor::framework::IDOK;
using omblor::framework::MB_ICONWARNING;
using omblor::framework::MB_OK;

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;

struct Receiver : CAsyncSocket {
    std::vector<std::string> got;
    std::function<void()> onReceive;
    void OnReceive(int /*error*/) override {
        char buffer[256];
        const int n = Receive(buffer, sizeof buffer);
        if (n >= 0) got.emplace_back(buffer, static_cast<std::size_t>(n));
        if (onReceive) onReceive();
    }
    void OnAccept(int /*error*/) override {
        if (onReceive) onReceive();
    }
};

struct Win32Loop : ::testing::Test {
    Win32EventLoop loop;
    void SetUp() override {
        ASSERT_TRUE(loop.Usable());
        ASSERT_TRUE(StartSocketService(1, 1));
        EventLoop::SetCurrent(&loop);
    }
    void TearDown() override {
        EventLoop::SetCurrent(nullptr);
        StopSocketService();
    }
    // False when the limit ran out first; the limit only guards against a hang.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        bool expired = false;
        const ScopedTimer guard(limit, Repeat::No, [&] { expired = true; });
        loop.RunUntil([&] { return expired || done(); });
        return !expired;
    }
    void Send(CAsyncSocket& from, std::uint16_t port, const std::string& text) {
        const sockaddr_in peer = CAsyncSocket::MakeAddress(kLoopback, port);
        ASSERT_EQ(from.SendToHelper(text.data(), static_cast<int>(text.size()),
                                    reinterpret_cast<const sockaddr*>(&peer), sizeof peer),
                  static_cast<int>(text.size()));
    }
};

TEST_F(Win32Loop, timers_tick_at_their_interval_and_stop) {
    int periodic = 0;
    int once = 0;
    int stopped = 0;
    int selfStopping = 0;
    const ScopedTimer every100(100ms, Repeat::Yes, [&] { ++periodic; });
    const ScopedTimer single(30ms, Repeat::No, [&] { ++once; });
    ScopedTimer never(10ms, Repeat::Yes, [&] { ++stopped; });
    never.Stop();
    TimerId self = 0;
    self = loop.StartTimer(10ms, Repeat::Yes, [&] {
        if (++selfStopping == 3) loop.StopTimer(self);
    });
    const auto start = std::chrono::steady_clock::now();
    RunUntil([] { return false; }, 1000ms);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // About once per interval; ticks that fall due while the thread is busy merge.
    EXPECT_GE(periodic, 5);
    EXPECT_LE(periodic, elapsed / 100ms + 1);
    EXPECT_EQ(once, 1);
    EXPECT_EQ(stopped, 0);
    EXPECT_EQ(selfStopping, 3);
}

TEST_F(Win32Loop, posted_calls_run_in_order_also_inside_a_nested_loop) {
    std::vector<int> order;
    loop.Post([&] {
        order.push_back(1);
        loop.Post([&] { order.push_back(3); });
        // A modal loop opened from a posted call keeps running the calls after it.
        RunUntil([&] { return order.size() == 3; });
    });
    loop.Post([&] { order.push_back(2); });
    ASSERT_TRUE(RunUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(Win32Loop, notifications_queued_before_a_close_reach_nothing) {
    auto receiver = std::make_unique<Receiver>();
    CAsyncSocket sender;
    ASSERT_TRUE(receiver->Create(0, SOCK_DGRAM, FD_READ, "127.0.0.1"));
    ASSERT_TRUE(sender.Create(0, SOCK_DGRAM, 0, "127.0.0.1"));
    const std::uint16_t port = receiver->LocalPort();
    Send(sender, port, "late");
    // Let Winsock queue its notification, then close before the loop sees it.
    for (int i = 0; i < 50; ++i) {
        MSG message;
        if (::PeekMessageA(&message, loop.SinkWindow(), 0, 0, PM_NOREMOVE) != 0) break;
        ::Sleep(10);
    }
    receiver.reset();
    // A socket opened now may get the same handle; the old notification must not reach it.
    Receiver next;
    ASSERT_TRUE(next.Create(0, SOCK_DGRAM, FD_READ, "127.0.0.1"));
    RunUntil([] { return false; }, 200ms);
    EXPECT_TRUE(next.got.empty());
}

// Whether wine (or Windows) lets this process open a top-level window.
bool HaveDisplay() {
    HWND probe = ::CreateWindowExA(0, "STATIC", "probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
    if (probe == nullptr) return false;
    ::DestroyWindow(probe);
    return true;
}

TEST_F(Win32Loop, sockets_and_timers_deliver_inside_a_message_box) {
    if (!HaveDisplay()) GTEST_SKIP() << "no display for a message box";
    constexpr char kCaption[] = "omblor event frame test";
    Receiver datagram;
    CAsyncSocket sender;
    ASSERT_TRUE(datagram.Create(0, SOCK_DGRAM, FD_READ, "127.0.0.1"));
    ASSERT_TRUE(sender.Create(0, SOCK_DGRAM, 0, "127.0.0.1"));
    Receiver listener;
    Receiver server;
    Receiver client;
    ASSERT_TRUE(listener.Create(0, SOCK_STREAM, FD_ACCEPT, "127.0.0.1"));
    ASSERT_TRUE(listener.Listen());
    ASSERT_TRUE(client.Create(0, SOCK_STREAM, FD_READ | FD_CONNECT));
    int ticks = 0;
    const ScopedTimer tick(20ms, Repeat::Yes, [&] { ++ticks; });

    auto allArrived = [&] { return datagram.got.size() == 2 && !client.got.empty() && ticks >= 3; };
    auto closeBoxWhenDone = [&] {
        if (!allArrived()) return;
        if (HWND box = ::FindWindowA(nullptr, kCaption)) ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    };
    datagram.onReceive = closeBoxWhenDone;
    client.onReceive = closeBoxWhenDone;
    listener.onReceive = [&] {
        if (listener.Accept(server)) server.Send("stream", 6);
    };
    const ScopedTimer check(50ms, Repeat::Yes, closeBoxWhenDone);
    const ScopedTimer giveUp(10s, Repeat::No, [&] {
        if (HWND box = ::FindWindowA(nullptr, kCaption)) ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    });

    bool boxDone = false;
    loop.Post([&] {
        // Everything below happens while the message box runs its own loop.
        client.Connect(kLoopback, listener.LocalPort());
        Send(sender, datagram.LocalPort(), "one");
        Send(sender, datagram.LocalPort(), "two");
        ::MessageBoxA(nullptr, "waiting for the sockets", kCaption, MB_OK | MB_ICONWARNING);
        boxDone = true;
    });
    ASSERT_TRUE(RunUntil([&] { return boxDone; }, 20s));
    EXPECT_EQ(datagram.got, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(client.got, std::vector<std::string>{"stream"});
    EXPECT_GE(ticks, 3);
}

}  // namespace
