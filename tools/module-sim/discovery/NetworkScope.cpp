#include "module-sim/discovery/NetworkScope.h"

#include <net/if.h>

#include <memory>
#include <string_view>

namespace omblor::modulesim {

NetworkScope DetectNetworkScope() {
    const std::unique_ptr<struct if_nameindex, decltype(&if_freenameindex)> names(
        if_nameindex(), &if_freenameindex);
    // Not knowing is treated like a real network.
    if (!names) return NetworkScope::LoopbackOnly;
    for (const auto* entry = names.get(); entry->if_index != 0; ++entry) {
        if (std::string_view(entry->if_name) != "lo") return NetworkScope::LoopbackOnly;
    }
    return NetworkScope::PrivateNamespace;
}

}  // namespace omblor::modulesim
