// The discovery search's datagram socket: bound to port 20034 (20035 when that is taken) with
// broadcast allowed; sends the request and acknowledgements to the broadcast address and hands
// every datagram it receives, and a failed bind, to its owner. Ports and destination are
// parameters so tests can choose their own.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <span>

#include "discovery/Datagrams.h"
#include "discovery/Ipv4Address.h"
#include "discovery/ReplyReader.h"
#include "net/CAsyncSocket.h"

namespace omblor::discovery {

class FindSocketOwner {
  public:
    virtual void ProcessReply(std::span<const std::uint8_t> datagram, Ipv4Address sender) = 0;
    // Neither port could be bound, or broadcast was refused. Called from the socket's
    // constructor.
    virtual void OnBindFailed() = 0;

  protected:
    ~FindSocketOwner() = default;
};

struct FindSocketPorts {
    std::uint16_t first = kDiscoveryPort;
    std::uint16_t fallback = kFallbackDiscoveryPort;
    Ipv4Address destination = kBroadcastAddress;
    std::uint16_t destinationPort = kDiscoveryPort;
};

class TarvikFindSocket final : public net::CAsyncSocket {
  public:
    // Tells the owner once when neither port can be bound or broadcast is refused; the object
    // then stays without a working socket and later sends fail silently.
    explicit TarvikFindSocket(FindSocketOwner& owner, const FindSocketPorts& ports = {});
    ~TarvikFindSocket() override;

    void SendRequest();
    void SendAcknowledgement(std::span<const AckEntry> entries);
    void OnReceive(int errorCode) override;

  private:
    void SendDatagram(std::span<const std::uint8_t> bytes);

    FindSocketOwner& owner_;
    sockaddr_in destination_{};
};

}  // namespace omblor::discovery
