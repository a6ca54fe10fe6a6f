#include "discovery/TarvikFindSocket.h"

#include <sys/socket.h>

namespace omblor::discovery {

namespace {
// A burst of replies from thousands of modules must not overflow the socket while the program
// is kept from reading (a paint, a busy machine); ask for room for several thousand of them
// (the system may grant less).
constexpr int kReceiveBuffer = 4 << 20;
}  // namespace

TarvikFindSocket::TarvikFindSocket(FindSocketOwner& owner, const FindSocketPorts& ports)
    : owner_(owner),
      destination_(
          net::CAsyncSocket::MakeAddress(ports.destination.HostOrder(), ports.destinationPort)) {
    bool ok = Create(ports.first, SOCK_DGRAM, net::FD_READ) ||
              Create(ports.fallback, SOCK_DGRAM, net::FD_READ);
    if (ok) {
        const int one = 1;
        ok = ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &one, sizeof one) == 0;
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
    }
    if (!ok) owner_.OnBindFailed();
}

TarvikFindSocket::~TarvikFindSocket() = default;

void TarvikFindSocket::SendDatagram(std::span<const std::uint8_t> bytes) {
    SendToHelper(bytes.data(), static_cast<int>(bytes.size()),
                 reinterpret_cast<const sockaddr*>(&destination_), sizeof destination_);
}

void TarvikFindSocket::SendRequest() {
    SendDatagram(BuildRequest());
}

void TarvikFindSocket::SendAcknowledgement(std::span<const AckEntry> entries) {
    SendDatagram(BuildAcknowledgement(entries));
}

void TarvikFindSocket::OnReceive(int /*errorCode*/) {
    // One datagram per call; the socket layer calls again while more are waiting.
    std::uint8_t buffer[kMaxDatagramSize];
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    const int got =
        ReceiveFromHelper(buffer, sizeof buffer, reinterpret_cast<sockaddr*>(&sender), &length);
    if (got <= 0) return;
    owner_.ProcessReply(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)),
                        Ipv4Address::FromHostOrder(ntohl(sender.sin_addr.s_addr)));
}

}  // namespace omblor::discovery
