#include "net/SocketService.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "net/CAsyncSocket.h"

namespace omblor::net {

bool StartSocketService(int major, int minor) {
    const char* fail = std::getenv("OMBLOR_TEST_FAIL_SOCKET_STARTUP");
    if (fail != nullptr && std::string_view(fail) == "1") {
        CAsyncSocket::SetLastError(ENETDOWN);
        return false;
    }
    if (major != 1 || minor != 1) {
        CAsyncSocket::SetLastError(EINVAL);
        return false;
    }
    return true;
}

void StopSocketService() {}

}  // namespace omblor::net
