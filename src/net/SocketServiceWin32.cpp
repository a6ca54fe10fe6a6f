#include <sys/socket.h>

#include <cerrno>

#include "net/CAsyncSocket.h"
#include "net/SocketCalls.h"
#include "net/SocketService.h"

namespace omblor::net {

bool StartSocketService(int major, int minor) {
    WSADATA data{};
    const int rc = ::WSAStartup(MAKEWORD(major, minor), &data);
    if (rc != 0) {
        ::WSASetLastError(rc);
        CAsyncSocket::SetLastError(sys::LastError());
        return false;
    }
    // Only exactly 1.1 will do; a service of another version is given back at once.
    if (data.wVersion != MAKEWORD(1, 1)) {
        ::WSACleanup();
        CAsyncSocket::SetLastError(EINVAL);
        return false;
    }
    return true;
}

void StopSocketService() {
    ::WSACleanup();
}

}  // namespace omblor::net
