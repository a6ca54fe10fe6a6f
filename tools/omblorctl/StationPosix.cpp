#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "Station.h"

namespace omblor::ctl {

std::string StationName() {
    std::vector<char> name(256, '\0');
    if (::gethostname(name.data(), name.size() - 1) != 0) return {};
    return name.data();
}

std::string OperatorName() {
    // The effective user is who the run acts as; the environment only when the user database
    // has no entry (a container started with a bare numeric user).
    if (const passwd* entry = ::getpwuid(::geteuid());
        entry != nullptr && entry->pw_name != nullptr)
        return entry->pw_name;
    const char* name = std::getenv("LOGNAME");
    return name != nullptr ? name : "";
}

}  // namespace omblor::ctl
