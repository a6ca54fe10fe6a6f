// Names shared by the asynchronous socket layer: the handle type, the result markers and the
// event bits a socket asks to be told about. Error numbers are plain errno values (a call that
// would have to wait fails with EWOULDBLOCK); there is no numbering of our own.
#pragma once

#include <sys/socket.h>

namespace omblor::net {

using SOCKET = int;
inline constexpr SOCKET INVALID_SOCKET = -1;
inline constexpr int SOCKET_ERROR = -1;

// Events a socket may request; the values are those of the notification masks the callers know.
enum SocketEvent : long {
    FD_READ = 0x01,
    FD_WRITE = 0x02,
    FD_OOB = 0x04,
    FD_ACCEPT = 0x08,
    FD_CONNECT = 0x10,
    FD_CLOSE = 0x20,
};
inline constexpr long kAllSocketEvents =
    FD_READ | FD_WRITE | FD_OOB | FD_ACCEPT | FD_CONNECT | FD_CLOSE;

}  // namespace omblor::net
