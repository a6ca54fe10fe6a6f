// A datagram socket with the broadcast option reaches its own port through 255.255.255.255.
// Runs only inside a private network namespace (label netns): it refuses to broadcast when the
// machine has any interface besides loopback, so nothing can leave the machine.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <string>
#include <string_view>

#include "module-sim/discovery/NetworkScope.h"
#include "net/CAsyncSocket.h"
#include "net/PollEventLoop.h"

using namespace std::chrono_literals;
using namespace omblor::net;

namespace {

struct Receiver : CAsyncSocket {
    std::string got;
    void OnReceive(int) override {
        char buffer[1024];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const int n =
            ReceiveFromHelper(buffer, sizeof buffer, reinterpret_cast<sockaddr*>(&from), &length);
        if (n > 0) got.assign(buffer, static_cast<std::size_t>(n));
    }
};

TEST(BroadcastSocket, a_broadcast_comes_back_to_a_socket_on_its_port) {
    if (!omblor::modulesim::InPrivateNetwork()) GTEST_SKIP() << "needs a private network namespace";
    PollEventLoop loop;
    EventLoop::SetCurrent(&loop);
    {
        Receiver socket;
        ASSERT_TRUE(socket.Create(0, SOCK_DGRAM, FD_READ));
        const int on = 1;
        ASSERT_EQ(::setsockopt(socket.Handle(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on), 0);
        const sockaddr_in all = CAsyncSocket::MakeAddress(0xFFFFFFFF, socket.LocalPort());
        ASSERT_EQ(
            socket.SendToHelper("hello", 5, reinterpret_cast<const sockaddr*>(&all), sizeof all),
            5);
        bool expired = false;
        const ScopedTimer guard(10s, Repeat::No, [&] { expired = true; });
        loop.RunUntil([&] { return expired || !socket.got.empty(); });
        EXPECT_EQ(socket.got, "hello");
    }
    EventLoop::SetCurrent(nullptr);
}

}  // namespace
