// What the update socket tells the one who drives the exchange: each complete module line, and
// how the connection failed, as a kind with the system's error number. The socket has no words
// of its own; whoever shows a failure picks the sentence. An interface so that the socket can be
// tested without a session.
#pragma once

#include <cstdint>
#include <string_view>

namespace omblor::update {

// How the connection to the module failed.
enum class SocketFailure {
    Connect,      // the connection could not be made
    Receive,      // reading failed
    LineTooLong,  // a line beyond the line buffer (no error number)
};

class UpdateSocketOwner {
  public:
    virtual void OnModuleLine(std::int32_t code, char* line) = 0;
    // The connection is of no further use. `details` says more for the operator: the module's
    // address and the system's reason, or the start of the over-long line.
    virtual void OnSocketFailed(SocketFailure failure, int error, std::string_view details) = 0;
    // No socket could be made; this alone does not end the exchange.
    virtual void OnSocketNotMade(int error) = 0;
    // The module closed the stream in an orderly way; reading has stopped.
    virtual void OnModuleClosed() {}

  protected:
    ~UpdateSocketOwner() = default;
};

}  // namespace omblor::update
