// A relay on 127.0.0.1 that a test plays in place of the broadcast: it records every datagram the
// search sends and answers each request with its replies, the module's own address appended as
// the relay trailer. Nothing leaves loopback, so no private network namespace is needed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "ReplyBuilder.h"
#include "discovery/TarvikFindSocket.h"
#include "net/CAsyncSocket.h"
#include "net/EventLoop.h"
#include "platform/UniqueFd.h"

namespace omblor::discovery::testing {

inline platform::UniqueFd BoundUdp(std::uint16_t port = 0) {
    platform::UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    const sockaddr_in a = net::CAsyncSocket::MakeAddress(INADDR_LOOPBACK, port);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) fd.Reset();
    return fd;
}

inline std::uint16_t PortOf(const platform::UniqueFd& fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// A port nobody holds right now.
inline std::uint16_t FreePort() {
    return PortOf(BoundUdp());
}

struct LoopbackRelay {
    // Made on the current loop.
    LoopbackRelay() : fd(BoundUdp()), port(PortOf(fd)) {
        watch = net::ScopedWatch(fd.Get(), net::kFdRead, [this](int, unsigned) { Receive(); });
    }

    // Ports the search binds (both free unless a test holds them) with the relay as destination.
    [[nodiscard]] FindSocketPorts Ports() const { return {first, fallback, kRelayAddress, port}; }

    void Receive() {
        std::uint8_t buffer[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const auto n = ::recvfrom(fd.Get(), buffer, sizeof buffer, 0,
                                  reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0) return;
        sizes.push_back(static_cast<std::size_t>(n));
        senderPorts.push_back(ntohs(from.sin_port));
        if (n != 153) return;
        for (const ReplyBuilder& reply : replies) Send(reply.Datagram(), ntohs(from.sin_port));
    }

    // Sends `datagram` to the search on 127.0.0.1:`toPort` as relayed from `source`.
    void Send(std::vector<std::uint8_t> datagram, std::uint16_t toPort) const {
        datagram.insert(datagram.end(), source.octets.begin(), source.octets.end());
        const sockaddr_in to = net::CAsyncSocket::MakeAddress(INADDR_LOOPBACK, toPort);
        ::sendto(fd.Get(), datagram.data(), datagram.size(), 0,
                 reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }

    platform::UniqueFd fd;
    std::uint16_t port = 0;
    std::uint16_t first = FreePort();
    std::uint16_t fallback = FreePort();
    net::ScopedWatch watch;
    // What each request is answered with, as sent from `source`.
    std::vector<ReplyBuilder> replies{ReplyBuilder{.configured = Ipv4Address{{10, 1, 2, 3}}}};
    Ipv4Address source{{10, 1, 2, 3}};
    // Every datagram received: its size and the port it came from.
    std::vector<std::size_t> sizes;
    std::vector<std::uint16_t> senderPorts;
};

}  // namespace omblor::discovery::testing
