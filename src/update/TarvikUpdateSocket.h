// The stream socket of one update: connects to the module's port 20034 without waiting, frames
// the module's bytes into lines one byte at a time and hands each complete line to its owner.
// It writes nothing by itself; the owner answers through Send().
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "net/CAsyncSocket.h"
#include "update/LineFramer.h"
#include "update/UpdateProtocol.h"

namespace omblor::update {

class UpdateSocketOwner;

class TarvikUpdateSocket final : public net::CAsyncSocket {
  public:
    // Creates the socket and starts connecting to `address` (host order); a failed Create is
    // told to the owner (OnSocketNotMade) and leaves the object without a socket.
    TarvikUpdateSocket(UpdateSocketOwner& owner, std::uint32_t address,
                       std::uint16_t port = kUpdatePort);
    ~TarvikUpdateSocket() override;

    void OnReceive(int errorCode) override;
    void OnConnect(int errorCode) override;

  private:
    [[nodiscard]] std::string ErrorDetails(int error) const;

    UpdateSocketOwner& owner_;
    sockaddr_in peer_{};
    LineFramer framer_;
    // Set while the owner handles a line: a receive event that comes meanwhile (from the modal
    // loop of a message box or the credentials dialog) reads nothing, and the reading loop that
    // called the handler goes on once it returns, so no byte is lost or framed twice.
    bool handling_ = false;
};

}  // namespace omblor::update
