#include "app/SocketStartup.h"

#include <cstdlib>
#include <string_view>

namespace omblor::app {

bool StartSocketService() {
    const char* fail = std::getenv("OMBLOR_TEST_FAIL_SOCKET_STARTUP");
    return fail == nullptr || std::string_view(fail) != "1";
}

}  // namespace omblor::app
