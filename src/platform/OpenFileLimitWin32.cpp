#include "platform/OpenFileLimit.h"

namespace omblor::platform {

// Windows sets no per-process limit on sockets for the program to raise.
bool RaiseOpenFileLimit() {
    return true;
}

}  // namespace omblor::platform
