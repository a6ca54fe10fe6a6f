// Asynchronous sockets against real sockets on 127.0.0.1. Every case is written against the
// EventLoop interface, so another loop implementation only has to join LoopTypes.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
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

// Records every notification; a test gives it behaviour through the hooks.
struct Probe : CAsyncSocket {
    std::vector<std::pair<long, int>> calls;
    std::function<void(Probe&, int)> onReceive;
    std::function<void(Probe&, int)> onAccept;

    void OnReceive(int error) override {
        calls.emplace_back(FD_READ, error);
        if (onReceive) onReceive(*this, error);
    }
    void OnSend(int error) override { calls.emplace_back(FD_WRITE, error); }
    void OnAccept(int error) override {
        calls.emplace_back(FD_ACCEPT, error);
        if (onAccept) onAccept(*this, error);
    }
    void OnConnect(int error) override { calls.emplace_back(FD_CONNECT, error); }
    void OnClose(int error) override { calls.emplace_back(FD_CLOSE, error); }

    [[nodiscard]] int Count(long event) const {
        int n = 0;
        for (const auto& call : calls) n += call.first == event ? 1 : 0;
        return n;
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

    // Runs the loop until `done`; false when the limit ran out first. The limit only guards
    // against a hang (sanitizer builds are slow), it is not what a case checks.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
        bool expired = false;
        const ScopedTimer guard(limit, Repeat::No, [&] { expired = true; });
        loop.RunUntil([&] { return expired || done(); });
        return !expired;
    }
    // Lets whatever is still due be delivered.
    void Settle(std::chrono::milliseconds time = 50ms) {
        RunUntil([] { return false; }, time);
    }

    static void MakeDatagram(CAsyncSocket& socket, long events) {
        ASSERT_TRUE(socket.Create(0, SOCK_DGRAM, events, "127.0.0.1"));
    }
    // A connected pair: `client` connects to a listener and `server` is the accepted side.
    void MakeStreamPair(Probe& client, Probe& server, long clientEvents, long serverEvents) {
        Probe listener;
        ASSERT_TRUE(listener.Create(0, SOCK_STREAM, FD_ACCEPT, "127.0.0.1"));
        ASSERT_TRUE(listener.Listen());
        listener.onAccept = [&](Probe& self, int) {
            if (self.Accept(server)) server.AsyncSelect(serverEvents);
        };
        ASSERT_TRUE(client.Create(0, SOCK_STREAM, clientEvents | FD_CONNECT));
        client.Connect(kLoopback, listener.LocalPort());
        ASSERT_TRUE(RunUntil(
            [&] { return client.Count(FD_CONNECT) == 1 && server.Handle() != INVALID_SOCKET; }));
        ASSERT_EQ(client.calls.back(), std::make_pair(long{FD_CONNECT}, 0));
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

TYPED_TEST(SocketTest, two_datagrams_arriving_together_give_two_receive_calls) {
    Probe receiver, sender;
    this->MakeDatagram(receiver, FD_READ);
    this->MakeDatagram(sender, 0);
    std::vector<std::string> got;
    receiver.onReceive = [&](Probe& self, int) { got.push_back(self.ReadDatagram()); };
    SendDatagram(sender, receiver, "one");
    SendDatagram(sender, receiver, "two");
    ASSERT_TRUE(this->RunUntil([&] { return got.size() == 2; }));
    this->Settle();
    EXPECT_EQ(got, (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(receiver.Count(FD_READ), 2);
}

TYPED_TEST(SocketTest, receive_from_takes_one_datagram_and_loses_an_over_long_one) {
    Probe receiver, sender;
    this->MakeDatagram(receiver, 0);
    this->MakeDatagram(sender, 0);
    struct Row {
        std::size_t size;
        int result;
        int error;
    };
    for (const Row row : {Row{0, 0, 0}, Row{1, 1, 0}, Row{1024, 1024, 0}, Row{1025, -1, EMSGSIZE},
                          Row{4000, -1, EMSGSIZE}}) {
        SCOPED_TRACE(row.size);
        SendDatagram(sender, receiver, std::string(row.size, 'x'));
        SendDatagram(sender, receiver, "next");
        char buffer[1024];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        EXPECT_EQ(receiver.ReceiveFromHelper(buffer, sizeof buffer,
                                             reinterpret_cast<sockaddr*>(&from), &length),
                  row.result);
        if (row.result < 0) {
            EXPECT_EQ(CAsyncSocket::GetLastError(), row.error);
        } else {
            EXPECT_EQ(ntohl(from.sin_addr.s_addr), kLoopback);
            EXPECT_EQ(ntohs(from.sin_port), sender.LocalPort());
        }
        // The datagram after it is whole: an over-long one is dropped, not split.
        EXPECT_EQ(receiver.ReadDatagram(), "next");
    }
    // An address slot too small for the sender is refused before anything is read.
    SendDatagram(sender, receiver, "kept");
    char buffer[16];
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
            Probe sender;
            this->MakeDatagram(sender, 0);
            std::unique_ptr<Probe> sockets[2] = {std::make_unique<Probe>(),
                                                 std::make_unique<Probe>()};
            std::unique_ptr<Probe> reused;
            auto act = [&](int victim) {
                if (action == Action::Delete) {
                    sockets[victim].reset();
                    return;
                }
                const auto handle = sockets[victim]->Handle();
                sockets[victim]->Close();
                if (action == Action::CloseAndReuseHandle) {
                    // The lowest free number is handed out again: the one just closed.
                    reused = std::make_unique<Probe>();
                    this->MakeDatagram(*reused, FD_READ);
                    EXPECT_EQ(reused->Handle(), handle);
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
            if (reused) {
                EXPECT_TRUE(reused->calls.empty());
            }
            for (const auto& socket : sockets) {
                if (socket && socket->Handle() == INVALID_SOCKET) {
                    EXPECT_TRUE(socket->calls.empty());
                }
            }
        }
    }
}

TYPED_TEST(SocketTest, a_receive_event_without_data_or_error_calls_no_handler) {
    struct Row {
        bool data;
        int error;
        int calls;
    };
    for (const Row row : {Row{false, 0, 0}, Row{false, ECONNRESET, 1}, Row{true, 0, 1}}) {
        SCOPED_TRACE(row.error + (row.data ? 1 : 0));
        Probe receiver, sender;
        this->MakeDatagram(receiver, FD_READ);
        this->MakeDatagram(sender, 0);
        if (row.data) {
            // Queued ahead of the socket's own event, which then finds nothing and is dropped.
            SendDatagram(sender, receiver, "x");
            receiver.onReceive = [](Probe& self, int) { self.ReadDatagram(); };
        }
        SocketDispatcher::PostEvent(receiver.Handle(), FD_READ, row.error);
        this->Settle();
        ASSERT_EQ(receiver.Count(FD_READ), row.calls);
        if (row.calls > 0) {
            EXPECT_EQ(receiver.calls[0].second, row.error);
        }
        // A dropped event leaves the socket armed for the next datagram.
        receiver.onReceive = [](Probe& self, int) { self.ReadDatagram(); };
        SendDatagram(sender, receiver, "later");
        EXPECT_TRUE(this->RunUntil([&] { return receiver.Count(FD_READ) == row.calls + 1; }));
    }
}

TYPED_TEST(SocketTest, a_create_that_fails_leaves_no_socket_and_the_object_reusable) {
    Probe holder;
    this->MakeDatagram(holder, 0);
    Probe listener;
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
        {
            auto failed = std::make_unique<Probe>();
            EXPECT_FALSE(failed->Create(row.port, row.type, FD_READ, row.address));
            EXPECT_EQ(CAsyncSocket::GetLastError(), row.error);
            EXPECT_EQ(failed->Handle(), INVALID_SOCKET);
            EXPECT_EQ(failed->Send("x", 1), -1);
            EXPECT_EQ(CAsyncSocket::GetLastError(), ENOTSOCK);
            failed->Close();
        }
        Probe retry;
        EXPECT_FALSE(retry.Create(row.port, row.type, FD_READ, row.address));
        EXPECT_TRUE(retry.Create(0, row.type, FD_READ, "127.0.0.1"));
        // A second Create on an open socket is refused and leaves it open.
        EXPECT_FALSE(retry.Create(0, row.type, FD_READ));
        EXPECT_EQ(CAsyncSocket::GetLastError(), EINVAL);
        EXPECT_NE(retry.Handle(), INVALID_SOCKET);
    }
}

TYPED_TEST(SocketTest, a_connect_reports_its_outcome_through_on_connect) {
    Probe listener, refuser;
    ASSERT_TRUE(listener.Create(0, SOCK_STREAM, FD_ACCEPT, "127.0.0.1"));
    ASSERT_TRUE(listener.Listen());
    // Bound but not listening: a connect to it is refused.
    ASSERT_TRUE(refuser.Create(0, SOCK_STREAM, 0, "127.0.0.1"));
    struct Row {
        std::uint16_t port;
        int error;
    };
    for (const Row row : {Row{listener.LocalPort(), 0}, Row{refuser.LocalPort(), ECONNREFUSED}}) {
        SCOPED_TRACE(row.error);
        Probe client;
        ASSERT_TRUE(client.Create(0, SOCK_STREAM, FD_READ | FD_CONNECT));
        if (!client.Connect(kLoopback, row.port)) {
            EXPECT_TRUE(CAsyncSocket::GetLastError() == EWOULDBLOCK ||
                        CAsyncSocket::GetLastError() == row.error);
        }
        ASSERT_TRUE(this->RunUntil([&] { return client.Count(FD_CONNECT) == 1; }));
        this->Settle();
        EXPECT_EQ(client.calls, (std::vector<std::pair<long, int>>{{FD_CONNECT, row.error}}));
    }
}

TYPED_TEST(SocketTest, a_large_send_goes_out_whole_and_in_order_while_timers_tick) {
    constexpr std::size_t kSize = 64U << 20;
    auto pattern = [](std::size_t i) {
        return static_cast<unsigned char>((i * 7 + i / 4099) & 0xFF);
    };
    // Copied (the caller may drop its buffer at once) and borrowed (the buffer outlives it).
    for (const bool borrowed : {false, true}) {
        std::vector<unsigned char> image(kSize);
        for (std::size_t i = 0; i < kSize; ++i) image[i] = pattern(i);

        Probe client, reader;
        this->MakeStreamPair(client, reader, FD_READ, 0);
        const int taken = borrowed ? client.SendBorrowed(std::as_bytes(std::span(image)))
                                   : client.Send(image.data(), static_cast<int>(kSize));
        ASSERT_EQ(taken, static_cast<int>(kSize));
        // The connection cannot take it all at once; the rest waits in the queue.
        EXPECT_GT(client.PendingSendBytes(), 0U);
        EXPECT_LE(client.PendingSendBytes(), kSize);
        if (!borrowed) {
            image.clear();
            image.shrink_to_fit();
        }

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
        EXPECT_EQ(received, kSize) << borrowed;
        EXPECT_EQ(mismatches, 0U) << borrowed;
        EXPECT_EQ(client.PendingSendBytes(), 0U);
        EXPECT_GT(ticksWhilePending, 0);
        EXPECT_TRUE(client.calls.empty());
    }
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
    // The loss is reported, as the error of a receive event or of the read one invites; on Qt's
    // dispatcher a plain readable event may come first.
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

TYPED_TEST(SocketTest, notifications_and_ticks_continue_inside_a_nested_loop) {
    Probe client, server;
    this->MakeStreamPair(client, server, FD_READ, 0);
    std::string got;
    bool busy = false;
    int reentered = 0;
    int ticks = 0;
    const ScopedTimer tick(2ms, Repeat::Yes, [&] { ++ticks; });
    client.onReceive = [&](Probe& self, int) {
        // A handler that is still running ignores the event, as the line framing does.
        if (busy) {
            ++reentered;
            return;
        }
        busy = true;
        char byte = 0;
        while (self.Receive(&byte, 1) == 1) {
            got += byte;
            if (byte == 'A') {
                // A modal box opened from the handler: more data arrives and is announced.
                ASSERT_EQ(server.Send("BC", 2), 2);
                const int before = ticks;
                ASSERT_TRUE(this->RunUntil([&] { return reentered > 0 && ticks >= before + 2; }));
            }
        }
        busy = false;
    };
    ASSERT_EQ(server.Send("A", 1), 1);
    ASSERT_TRUE(this->RunUntil([&] { return got == "ABC"; }));
    // The ignored event cost nothing: the next data still gets a fresh one.
    ASSERT_EQ(server.Send("D", 1), 1);
    ASSERT_TRUE(this->RunUntil([&] { return got == "ABCD"; }));
    EXPECT_EQ(reentered, 1);
}

TYPED_TEST(SocketTest, reads_inside_a_nested_loop_keep_receive_events_coming) {
    Probe receiver, sender;
    this->MakeDatagram(receiver, FD_READ);
    this->MakeDatagram(sender, 0);
    std::vector<std::string> got;
    receiver.onReceive = [&](Probe& self, int) {
        got.push_back(self.ReadDatagram());
        if (got.size() == 1) {
            SendDatagram(sender, receiver, "2");
            SendDatagram(sender, receiver, "3");
            ASSERT_TRUE(this->RunUntil([&] { return got.size() == 3; }));
        }
    };
    SendDatagram(sender, receiver, "1");
    ASSERT_TRUE(this->RunUntil([&] { return got.size() == 3; }));
    EXPECT_EQ(got, (std::vector<std::string>{"1", "2", "3"}));
}

TYPED_TEST(SocketTest, a_socket_nobody_reads_gets_one_event_until_rearmed) {
    Probe receiver, sender;
    this->MakeDatagram(receiver, FD_READ);
    this->MakeDatagram(sender, 0);
    SendDatagram(sender, receiver, "unread");
    this->Settle();
    EXPECT_EQ(receiver.Count(FD_READ), 1);
    ASSERT_TRUE(receiver.AsyncSelect(FD_READ));
    this->Settle();
    EXPECT_EQ(receiver.Count(FD_READ), 2);

    // A stream at its end: Receive gives 0 once, then the socket is quiet.
    Probe client, server;
    this->MakeStreamPair(client, server, FD_READ, 0);
    std::vector<int> results;
    client.onReceive = [&](Probe& self, int) {
        char byte = 0;
        results.push_back(self.Receive(&byte, 1));
    };
    server.Close();
    ASSERT_TRUE(this->RunUntil([&] { return !results.empty(); }));
    this->Settle();
    EXPECT_EQ(results, std::vector<int>{0});
}

TEST(SendQueue, keeps_order_across_chunks) {
    SendQueue queue;
    auto append = [&](std::string_view text) {
        queue.Append(std::as_bytes(std::span(text.data(), text.size())));
    };
    auto front = [&] {
        const auto piece = queue.Front();
        return std::string(reinterpret_cast<const char*>(piece.data()), piece.size());
    };
    append("abc");
    append("");
    append("de");
    const std::string_view borrowed = "fg";
    queue.AppendBorrowed(std::as_bytes(std::span(borrowed.data(), borrowed.size())));
    EXPECT_EQ(queue.Size(), 7U);
    queue.Consume(2);
    EXPECT_EQ(front(), "c");
    queue.Consume(2);
    EXPECT_EQ(front(), "e");
    queue.Consume(2);
    EXPECT_EQ(front(), "g");
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
