// The system calls under CAsyncSocket, one platform file each (SocketCallsPosix.cpp,
// SocketCallsWin32.cpp): what differs between BSD sockets and Winsock stays here, and the socket
// layer above keeps one set of rules. Every call returns at once; failures leave their reason in
// LastError() as an errno name (EWOULDBLOCK, ECONNREFUSED, ...), whatever the system's own
// numbering. A call a signal interrupted is made again here, so EINTR never reaches the layer
// above.
#pragma once

#include <cstddef>

#include "net/SocketTypes.h"

namespace omblor::net::sys {

// The reason of this thread's last failed call below.
int LastError();

// A non-blocking IPv4 socket of `type` that child processes do not inherit.
SOCKET OpenSocket(int type);
// The oldest pending connection, non-blocking like its listener.
SOCKET AcceptSocket(SOCKET listener, sockaddr* address, socklen_t* addressLength);
void CloseSocket(SOCKET handle);

// Byte counts, or -1. A datagram longer than `length` is reported by ReceiveFrom either as a
// count above `length` or as a failure with EMSGSIZE; both mean it is lost.
long Send(SOCKET handle, const void* buffer, std::size_t length, int flags);
long SendTo(SOCKET handle, const void* buffer, std::size_t length, int flags,
            const sockaddr* address, socklen_t addressLength);
long ReceiveFrom(SOCKET handle, void* buffer, std::size_t length, int flags, bool datagram,
                 sockaddr* address, socklen_t* addressLength);

// The error a failed connect or a broken connection left on the socket (0 for none).
int TakePendingError(SOCKET handle);

// What a socket holds for a reader right now, without waiting.
struct ReadProbe {
    bool readable = false;  // data, an end of stream, a pending connection or an error
    bool failed = false;    // an error is waiting (TakePendingError tells which)
};
ReadProbe ProbeReadable(SOCKET handle);
// Whether the next byte of the stream is its orderly end.
bool PeerClosedOrderly(SOCKET handle);

}  // namespace omblor::net::sys
