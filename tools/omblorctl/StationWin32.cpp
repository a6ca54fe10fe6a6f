#include <windows.h>

#include <lmcons.h>

#include "Station.h"

namespace omblor::ctl {

std::string StationName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return ::GetComputerNameA(name, &size) != 0 ? std::string(name, size) : std::string();
}

std::string OperatorName() {
    char name[UNLEN + 1] = {};
    DWORD size = sizeof name;
    // The size counts the terminating zero.
    return ::GetUserNameA(name, &size) != 0 && size > 0 ? std::string(name, size - 1)
                                                        : std::string();
}

}  // namespace omblor::ctl
