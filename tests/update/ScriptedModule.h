// A module on 127.0.0.1 that plays a script on the current loop, for the update session's and
// the update dialog's tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "net/EventLoop.h"
#include "net/SocketCalls.h"

namespace omblor::testing {

inline constexpr std::uint32_t kLoopback = 0x7F000001;

// Closes a socket once, with the platform's call (a descriptor's close does not do on Windows).
class OwnedSocket {
  public:
    OwnedSocket() = default;
    OwnedSocket(const OwnedSocket&) = delete;
    OwnedSocket& operator=(const OwnedSocket&) = delete;
    ~OwnedSocket() { Reset(); }
    void Reset(net::SOCKET handle = net::INVALID_SOCKET) {
        if (handle_ != net::INVALID_SOCKET) net::sys::CloseSocket(handle_);
        handle_ = handle;
    }
    [[nodiscard]] net::SOCKET Get() const { return handle_; }
    [[nodiscard]] bool Valid() const { return handle_ != net::INVALID_SOCKET; }

  private:
    net::SOCKET handle_ = net::INVALID_SOCKET;
};

// A module that plays a script: it sends the first step's text on connection, then each later
// step's text once it has received `after` bytes in all.
class ScriptedModule {
  public:
    struct Step {
        std::size_t after = 0;
        std::string send;
        enum class Then { Stay, Close, Reset } then = Then::Stay;
    };
    explicit ScriptedModule(std::vector<Step> steps)
        : ScriptedModule(kLoopback, 0, std::vector<std::vector<Step>>{std::move(steps)}) {}
    // On `address`:`listenPort` (0 picks one); each connection plays the next script, the last
    // one again for any further connection.
    ScriptedModule(std::uint32_t address, std::uint16_t listenPort,
                   std::vector<std::vector<Step>> scripts)
        : scripts_(std::move(scripts)) {
        listen_.Reset(net::sys::OpenSocket(SOCK_STREAM));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        a.sin_port = htons(listenPort);
        const int on = 1;
        ::setsockopt(listen_.Get(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on),
                     sizeof on);
        ::bind(listen_.Get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_.Get(), 1);
        socklen_t len = sizeof a;
        ::getsockname(listen_.Get(), reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
        acceptWatch_ = net::ScopedWatch(listen_.Get(), net::kFdRead, [this](int, unsigned) {
            peer_.Reset(net::sys::AcceptSocket(listen_.Get(), nullptr, nullptr));
            steps_ = scripts_[std::min(connections, scripts_.size() - 1)];
            ++connections;
            next_ = 0;
            received.clear();
            Advance();
            readWatch_ = net::ScopedWatch(peer_.Get(), net::kFdRead,
                                          [this](int, unsigned) { OnReadable(); });
        });
    }
    void Send(std::string_view text) const {
        net::sys::Send(peer_.Get(), text.data(), text.size(), 0);
    }

    std::uint16_t port = 0;
    std::string received;  // on the latest connection
    std::size_t connections = 0;

  private:
    void OnReadable() {
        char buffer[65536];
        const long n =
            net::sys::ReceiveFrom(peer_.Get(), buffer, sizeof buffer, 0, false, nullptr, nullptr);
        if (n <= 0) {
            readWatch_.Reset();
            return;
        }
        received.append(buffer, static_cast<std::size_t>(n));
        Advance();
    }
    void Advance() {
        while (peer_.Valid() && next_ < steps_.size() && received.size() >= steps_[next_].after) {
            const Step& step = steps_[next_++];
            Send(step.send);
            if (step.then != Step::Then::Stay) {
                const linger abort{1, 0};
                if (step.then == Step::Then::Reset)
                    ::setsockopt(peer_.Get(), SOL_SOCKET, SO_LINGER,
                                 reinterpret_cast<const char*>(&abort), sizeof abort);
                readWatch_.Reset();
                peer_.Reset();
            }
        }
    }

    std::vector<std::vector<Step>> scripts_;
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    OwnedSocket listen_;
    OwnedSocket peer_;
    net::ScopedWatch acceptWatch_;
    net::ScopedWatch readWatch_;
};

}  // namespace omblor::testing
