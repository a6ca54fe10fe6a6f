#include "net/OpenFileLimit.h"

namespace omblor::net {

// Windows sets no per-process limit on sockets for the program to raise.
bool RaiseOpenFileLimit() {
    return true;
}

}  // namespace omblor::net
