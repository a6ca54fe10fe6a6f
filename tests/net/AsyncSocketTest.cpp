// Asynchronous sockets against real sockets on 127.0.0.1. Every case is written against the
// EventLoop interface, so another loop implementation only has to join LoopTypes.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "net/CAsyncSocket.h"
#ifdef OMBLOR_TEST_WIN32_LOOP
#include "net/Win32EventLoop.h"
#else
#include "net/PollEventLoop.h"
#endif
#ifdef OMBLOR_TEST_QT_LOOP
#include <QCoreApplication>

#include "framework/qt/QtEventLoop.h"
#endif
#include "net/SendQueue.h"
#include "net/SocketDispatcher.h"
#include "net/SocketService.h"

using namespace std::chrono_literals;
using namespace omblor::net;

namespace {

constexpr std::uint32_t kLoopback = 0x7F000001;
using Calls = std::vector<std::pair<long, int>>;

// Records every notification; a test gives it behaviour through the hooks.
struct Probe : CAsyncSocket {
    Calls calls;
    std::function<void(Probe&, int)> onReceive;

    void OnReceive(int error) override {
        calls.emplace_back(FD_READ, error);
        if (onReceive) onReceive(*this, error);
    }
    void OnSend(int error) override { calls.emplace_back(FD_WRITE, error); }
    void OnAccept(int error) override { calls.emplace_back(FD_ACCEPT, error); }
    void OnConnect(int error) override { calls.emplace_back(FD_CONNECT, error); }
    void OnClose(int error) override { calls.emplace_back(FD_CLOSE, error); }

    [[nodiscard]] int Count(long event) const {
        return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                              [&](auto& call) { return call.first == event; }));
    }
    std::string ReadDatagram() {
        char buffer[1024];
        const int n = Receive(buffer, sizeof buffer);
        return n < 0 ? std::string("<error>") : std::string(buffer, static_cast<std::size_t>(n));
    }
};

void SendDatagram(CAsyncSocket& from, const CAsyncSocket& to, const std::string& text) {
    const sockaddr_in peer = CAsyncSocket::MakeAddress(kLoopback, to.LocalPort());
    ASSERT_EQ(from.SendToHelper(text.data(), static_cast<int>(text.size()),
                                reinterpret_cast<const sockaddr*>(&peer), sizeof peer),
              static_cast<int>(text.size()));
}

template <class Loop>
struct SocketTest : ::testing::Test {
    Loop loop;
    void SetUp() override {
        ASSERT_TRUE(StartSocketService(1, 1));
        EventLoop::SetCurrent(&loop);
    }
    void TearDown() override {
        StopSocketService();
        // Every socket of a case is closed by now, so the thread's dispatcher must be gone.
        EXPECT_FALSE(SocketDispatcher::Exists());
        EventLoop::SetCurrent(nullptr);
    }

    // False when the limit ran out first; it only guards against a hang (sanitizers are slow).
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        bool expired = false;
        const ScopedTimer guard(limit, Repeat::No, [&] { expired = true; });
        loop.RunUntil([&] { return expired || done(); });
        return !expired;
    }
    void Settle() {
        RunUntil([] { return false; }, 50ms);
    }

    static void MakeDatagram(CAsyncSocket& socket, long events) {
        ASSERT_TRUE(socket.Create(0, SOCK_DGRAM, events, "127.0.0.1"));
    }
    // A connected pair: `client` connects to a listener and `server` is the accepted side.
    void MakeStreamPair(Probe& client, Probe& server, long clientEvents, long serverEvents) {
        Probe listener;
        ASSERT_TRUE(listener.Create(0, SOCK_STREAM, FD_ACCEPT, "127.0.0.1"));
        ASSERT_TRUE(listener.Listen());
        ASSERT_TRUE(client.Create(0, SOCK_STREAM, clientEvents | FD_CONNECT));
        if (!client.Connect(kLoopback, listener.LocalPort())) {
            EXPECT_EQ(CAsyncSocket::GetLastError(), EWOULDBLOCK);
        }
        ASSERT_TRUE(RunUntil([&] { return listener.Count(FD_ACCEPT) == 1; }));
        ASSERT_TRUE(listener.Accept(server));
        ASSERT_TRUE(server.AsyncSelect(serverEvents));
        ASSERT_TRUE(RunUntil([&] { return client.Count(FD_CONNECT) == 1; }));
        ASSERT_EQ(client.calls, (Calls{{FD_CONNECT, 0}}));
        client.calls.clear();
    }
};

#ifdef OMBLOR_TEST_QT_LOOP
// The same cases on Qt's dispatcher, which the window host runs on.
struct QtLoop : omblor::framework::QtEventLoop {
    QtLoop() {
        static int argc = 1;
        static char name[] = "test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
    }
};
using LoopTypes = ::testing::Types<PollEventLoop, QtLoop>;
#elif defined(OMBLOR_TEST_WIN32_LOOP)
// The same cases on window messages, as the Windows build runs them.
using LoopTypes = ::testing::Types<Win32EventLoop>;
#else
using LoopTypes = ::testing::Types<PollEventLoop>;
#endif
TYPED_TEST_SUITE(SocketTest, LoopTypes);

TYPED_TEST(SocketTest, datagrams_and_ticks_keep_coming_inside_a_nested_loop) {
    Probe receiver, sender;
    this->MakeDatagram(receiver, FD_READ);
    this->MakeDatagram(sender, 0);
    int ticks = 0;
    const ScopedTimer tick(2ms, Repeat::Yes, [&] { ++ticks; });
    std::vector<std::string> got;
    receiver.onReceive = [&](Probe& self, int) {
        got.push_back(self.ReadDatagram());
        if (got.size() == 1) {
            // A modal box opened from the handler: two datagrams arrive together, one call each.
            SendDatagram(sender, receiver, "2");
            SendDatagram(sender, receiver, "3");
            const int before = ticks;
            ASSERT_TRUE(this->RunUntil([&] { return got.size() == 3 && ticks >= before + 2; }));
        }
    };
    SendDatagram(sender, receiver, "1");
    ASSERT_TRUE(this->RunUntil([&] { return got.size() == 3; }));
    this->Settle();
    EXPECT_EQ(got, (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(receiver.Count(FD_READ), 3);
}

TYPED_TEST(SocketTest, receive_from_takes_one_datagram_and_loses_an_over_long_one) {
    Probe receiver, sender;
    this->MakeDatagram(receiver, 0);
    this->MakeDatagram(sender, 0);
    char buffer[1024];
    for (const auto& [size, result, error] :
         {std::tuple{0, 0, 0}, std::tuple{1, 1, 0}, std::tuple{1024, 1024, 0},
          std::tuple{1025, -1, EMSGSIZE}, std::tuple{4000, -1, EMSGSIZE}}) {
        SCOPED_TRACE(size);
        SendDatagram(sender, receiver, std::string(size, 'x'));
        SendDatagram(sender, receiver, "next");
        sockaddr_in from{};
        socklen_t length = sizeof from;
        EXPECT_EQ(receiver.ReceiveFromHelper(buffer, sizeof buffer,
                                             reinterpret_cast<sockaddr*>(&from), &length),
                  result);
        if (result < 0) {
            EXPECT_EQ(CAsyncSocket::GetLastError(), error);
        } else {
            EXPECT_EQ(ntohl(from.sin_addr.s_addr), kLoopback);
            EXPECT_EQ(ntohs(from.sin_port), sender.LocalPort());
        }
        // The datagram after it is whole: an over-long one is dropped, not split.
        EXPECT_EQ(receiver.ReadDatagram(), "next");
    }
    // An address slot too small for the sender is refused before anything is read.
    SendDatagram(sender, receiver, "kept");
    sockaddr_in from{};
    socklen_t tooShort = 8;
    EXPECT_EQ(receiver.ReceiveFromHelper(buffer, sizeof buffer, reinterpret_cast<sockaddr*>(&from),
                                         &tooShort),
              -1);
    EXPECT_EQ(CAsyncSocket::GetLastError(), EFAULT);
    EXPECT_EQ(receiver.ReadDatagram(), "kept");
}

TYPED_TEST(SocketTest, an_event_queued_for_a_closed_or_deleted_socket_reaches_no_object) {
    enum class Action { Close, Delete, CloseAndReuseHandle };
    for (const Action action : {Action::Close, Action::Delete, Action::CloseAndReuseHandle}) {
        for (const bool realData : {true, false}) {
            SCOPED_TRACE(static_cast<int>(action) * 2 + (realData ? 1 : 0));
            Probe sender, reused;
            this->MakeDatagram(sender, 0);
            std::unique_ptr<Probe> sockets[2] = {std::make_unique<Probe>(),
                                                 std::make_unique<Probe>()};
            auto act = [&](int victim) {
                const auto handle = sockets[victim]->Handle();
                action == Action::Delete ? sockets[victim].reset() : sockets[victim]->Close();
                if (action == Action::CloseAndReuseHandle) {
                    // The lowest free number is handed out again: the one just closed.
                    this->MakeDatagram(reused, FD_READ);
                    EXPECT_EQ(reused.Handle(), handle);
                }
            };
            int handled = 0;
            for (int i = 0; i < 2; ++i) {
                this->MakeDatagram(*sockets[i], FD_READ);
                sockets[i]->onReceive = [&, i](Probe& self, int) {
                    ++handled;
                    self.ReadDatagram();
                    if (sockets[1 - i]) act(1 - i);
                };
            }
            if (realData) {
                // Both become readable in the same turn, so both events are queued before
                // the first handler runs and disposes of the other socket.
                SendDatagram(sender, *sockets[0], "a");
                SendDatagram(sender, *sockets[1], "b");
                ASSERT_TRUE(this->RunUntil([&] { return handled > 0; }));
            } else {
                // An event that carries an error is never dropped as spurious.
                SocketDispatcher::PostEvent(sockets[1]->Handle(), FD_READ, ECONNRESET);
                act(1);
                ++handled;
            }
            this->Settle();
            EXPECT_EQ(handled, 1);
            EXPECT_TRUE(reused.calls.empty());
            if (action == Action::CloseAndReuseHandle) {
                // Once the old events are past, the number's new socket hears of its own.
                SendDatagram(sender, reused, "c");
                EXPECT_TRUE(this->RunUntil([&] { return reused.Count(FD_READ) == 1; }));
            }
            for (const auto& socket : sockets) {
                EXPECT_TRUE(!socket || socket->Handle() != INVALID_SOCKET || socket->calls.empty());
            }
        }
    }
}

TYPED_TEST(SocketTest, a_receive_event_without_data_or_error_is_dropped_and_one_comes_until_read) {
    for (const auto& [data, error, calls] :
         {std::tuple{false, 0, 0}, std::tuple{false, ECONNRESET, 1}, std::tuple{true, 0, 1}}) {
        SCOPED_TRACE(error + (data ? 1 : 0));
        Probe receiver, sender;
        this->MakeDatagram(receiver, FD_READ);
        this->MakeDatagram(sender, 0);
        if (data) {
            // Queued ahead of the socket's own event, which then finds nothing and is dropped.
            SendDatagram(sender, receiver, "x");
            receiver.onReceive = [](Probe& self, int) { self.ReadDatagram(); };
        }
        SocketDispatcher::PostEvent(receiver.Handle(), FD_READ, error);
        this->Settle();
        ASSERT_EQ(receiver.Count(FD_READ), calls);
        if (calls > 0) {
            EXPECT_EQ(receiver.calls[0].second, error);
        }
        // A dropped event leaves the socket armed; unread data is told once until re-armed.
        receiver.onReceive = nullptr;
        SendDatagram(sender, receiver, "unread");
        this->Settle();
        EXPECT_EQ(receiver.Count(FD_READ), calls + 1);
        ASSERT_TRUE(receiver.AsyncSelect(FD_READ));
        this->Settle();
        EXPECT_EQ(receiver.Count(FD_READ), calls + 2);
    }
}

TYPED_TEST(SocketTest, a_create_that_fails_leaves_no_socket_and_the_object_reusable) {
    Probe holder, listener;
    this->MakeDatagram(holder, 0);
    ASSERT_TRUE(listener.Create(0, SOCK_STREAM, FD_ACCEPT, "127.0.0.1"));
    ASSERT_TRUE(listener.Listen());
    struct Row {
        std::uint16_t port;
        int type;
        const char* address;
        int error;
    };
    for (const Row row : {Row{holder.LocalPort(), SOCK_DGRAM, "", EADDRINUSE},
                          Row{listener.LocalPort(), SOCK_STREAM, "127.0.0.1", EADDRINUSE},
                          Row{0, SOCK_DGRAM, "192.0.2.1", EADDRNOTAVAIL},
                          Row{0, SOCK_DGRAM, "300.1.2.3", EINVAL}}) {
        SCOPED_TRACE(row.address);
#ifdef OMBLOR_TEST_WIN32_LOOP
        // wine (unlike Windows) binds to an address that no interface of the machine has.
        if (row.error == EADDRNOTAVAIL) continue;
#endif
        Probe socket;
        EXPECT_FALSE(socket.Create(row.port, row.type, FD_READ, row.address));
        EXPECT_EQ(CAsyncSocket::GetLastError(), row.error);
        EXPECT_EQ(socket.Handle(), INVALID_SOCKET);
        EXPECT_EQ(socket.Send("x", 1), -1);
        EXPECT_EQ(CAsyncSocket::GetLastError(), ENOTSOCK);
        socket.Close();
        EXPECT_TRUE(socket.Create(0, row.type, FD_READ, "127.0.0.1"));
        // A second Create on an open socket is refused and leaves it open.
        EXPECT_FALSE(socket.Create(0, row.type, FD_READ));
        EXPECT_EQ(CAsyncSocket::GetLastError(), EINVAL);
        EXPECT_NE(socket.Handle(), INVALID_SOCKET);
    }
}

// The refuser is bound but not listening. A successful connect is checked by MakeStreamPair.
TYPED_TEST(SocketTest, a_refused_connect_is_reported_through_on_connect_alone) {
    Probe refuser, client;
    ASSERT_TRUE(refuser.Create(0, SOCK_STREAM, 0, "127.0.0.1"));
    ASSERT_TRUE(client.Create(0, SOCK_STREAM, FD_READ | FD_CONNECT));
    EXPECT_FALSE(client.Connect(kLoopback, refuser.LocalPort()));
    EXPECT_TRUE(CAsyncSocket::GetLastError() == EWOULDBLOCK ||
                CAsyncSocket::GetLastError() == ECONNREFUSED);
    ASSERT_TRUE(this->RunUntil([&] { return client.Count(FD_CONNECT) == 1; }));
    this->Settle();
    EXPECT_EQ(client.calls, (Calls{{FD_CONNECT, ECONNREFUSED}}));
}

TYPED_TEST(SocketTest, a_large_send_goes_out_whole_and_in_order_while_timers_tick) {
    constexpr std::size_t kSize = 64U << 20;
    auto pattern = [](std::size_t i) {
        return static_cast<unsigned char>((i * 7 + i / 4099) & 0xFF);
    };
    Probe client, reader;
    this->MakeStreamPair(client, reader, FD_READ, 0);
    std::vector<unsigned char> image(kSize);
    for (std::size_t i = 0; i < kSize; ++i) image[i] = pattern(i);
    // The first half is copied (its buffer may be reused at once), the second borrowed.
    constexpr int kHalf = static_cast<int>(kSize / 2);
    ASSERT_EQ(client.Send(image.data(), kHalf), kHalf);
    std::fill_n(image.begin(), kHalf, 0);
    ASSERT_EQ(client.SendBorrowed(std::as_bytes(std::span(image).subspan(kHalf))), kHalf);
    // The connection cannot take it all at once; the rest waits in the queue.
    EXPECT_GT(client.PendingSendBytes(), 0U);
    // A slow reader: a bounded amount per tick, so the sender must keep going from the loop.
    std::size_t received = 0;
    std::size_t mismatches = 0;
    int ticksWhilePending = 0;
    std::vector<unsigned char> chunk(64 * 1024);
    const ScopedTimer tick(1ms, Repeat::Yes, [&] {
        if (client.PendingSendBytes() > 0) ++ticksWhilePending;
        for (int reads = 0; reads < 16; ++reads) {
            const int n = reader.Receive(chunk.data(), static_cast<int>(chunk.size()));
            if (n <= 0) break;
            for (int k = 0; k < n; ++k) mismatches += chunk[k] != pattern(received + k) ? 1 : 0;
            received += static_cast<std::size_t>(n);
        }
    });
    ASSERT_TRUE(this->RunUntil([&] { return received >= kSize; }, 120s));
    EXPECT_EQ(received, kSize);
    EXPECT_EQ(mismatches, 0U);
    EXPECT_EQ(client.PendingSendBytes(), 0U);
    EXPECT_GT(ticksWhilePending, 0);
    EXPECT_TRUE(client.calls.empty());
}

TYPED_TEST(SocketTest, a_connection_lost_while_the_queue_drains_is_reported) {
    Probe client, peer;
    this->MakeStreamPair(client, peer, FD_READ, 0);
    const std::vector<char> bytes(16U << 20, 'x');
    ASSERT_EQ(client.Send(bytes.data(), static_cast<int>(bytes.size())),
              static_cast<int>(bytes.size()));
    ASSERT_GT(client.PendingSendBytes(), 0U);
    // The peer goes away without reading: a reset.
    const linger reset{1, 0};
    ASSERT_EQ(::setsockopt(peer.Handle(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset), 0);
    peer.Close();
    ASSERT_TRUE(this->RunUntil([&] { return !client.calls.empty(); }));
    EXPECT_EQ(client.calls[0].first, FD_READ);
    // Told as the error of a receive event or of the read it invites (Qt may send a plain one).
    this->Settle();
    char byte = 0;
    const bool reported =
        std::any_of(client.calls.begin(), client.calls.end(),
                    [](const auto& call) { return call.first == FD_READ && call.second != 0; }) ||
        (client.Receive(&byte, 1) == -1 && CAsyncSocket::GetLastError() != EWOULDBLOCK);
    EXPECT_TRUE(reported);
    EXPECT_EQ(client.PendingSendBytes(), 0U);
    EXPECT_EQ(client.Send("x", 1), -1);
}

TYPED_TEST(SocketTest, a_stream_at_its_end_reads_zero_once_then_stays_quiet) {
    Probe client, server;
    this->MakeStreamPair(client, server, FD_READ, 0);
    // A read that would block leaves the stream watched for its end.
    char byte = 0;
    EXPECT_EQ(client.Receive(&byte, 1), -1);
    EXPECT_EQ(CAsyncSocket::GetLastError(), EWOULDBLOCK);
    std::vector<int> results;
    client.onReceive = [&](Probe& self, int) { results.push_back(self.Receive(&byte, 1)); };
    server.Close();
    ASSERT_TRUE(this->RunUntil([&] { return !results.empty(); }));
    this->Settle();
    EXPECT_EQ(results, std::vector<int>{0});
}

TEST(SendQueue, keeps_order_across_chunks_and_borrows_without_copying) {
    SendQueue queue;
    auto bytes = [](std::string_view text) { return std::as_bytes(std::span(text)); };
    auto front = [&] {
        const auto piece = queue.Front();
        return std::string(reinterpret_cast<const char*>(piece.data()), piece.size());
    };
    const std::string_view borrowed = "fg";
    for (const std::string_view text : {"abc", "", "de"}) queue.Append(bytes(text));
    queue.AppendBorrowed(bytes(borrowed));
    EXPECT_EQ(queue.Size(), 7U);
    for (const char* expected : {"c", "e", "g"}) {
        queue.Consume(2);
        EXPECT_EQ(front(), expected);
    }
    EXPECT_EQ(queue.Front().data(), reinterpret_cast<const std::byte*>(borrowed.data() + 1));
    queue.Consume(9);
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(front(), "");
}

TEST(SocketService, starts_only_for_version_one_one) {
    EXPECT_TRUE(StartSocketService(1, 1));
    EXPECT_FALSE(StartSocketService(2, 2));
    StopSocketService();
}

}  // namespace
