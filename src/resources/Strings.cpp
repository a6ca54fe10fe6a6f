#include "resources/Strings.h"

#include "resources/ResourceIds.h"

namespace omblor::resources {

std::string_view LoadStringResource(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return "&About Druvane...";
        case IDS_SOCKETS_INIT_FAILED:
            return "Windows sockets initialization failed.";
        default:
            return {};
    }
}

std::string_view VersionText() {
    return OMBLOR_VERSION;
}

}  // namespace omblor::resources
