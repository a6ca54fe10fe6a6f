#include "net/SocketService.h"

#include <cerrno>

#include "net/CAsyncSocket.h"

namespace omblor::net {

bool StartSocketService(int major, int minor) {
    if (major != 1 || minor != 1) {
        CAsyncSocket::SetLastError(EINVAL);
        return false;
    }
    return true;
}

void StopSocketService() {}

}  // namespace omblor::net
