// Where the simulator may send: anywhere inside a private network namespace (one that has no
// interface but lo, so nothing can leave the machine), loopback only everywhere else. The
// discovery role checks this before it opens anything and again for every reply's destination.
#pragma once

#include <span>

#include "discovery/Ipv4Address.h"

namespace omblor::modulesim {

enum class NetworkScope { PrivateNamespace, LoopbackOnly };

// PrivateNamespace when lo is the only network interface of this process's namespace.
[[nodiscard]] NetworkScope DetectNetworkScope();
// The same, for the tests that broadcast: they run only there.
[[nodiscard]] inline bool InPrivateNetwork() {
    return DetectNetworkScope() == NetworkScope::PrivateNamespace;
}

[[nodiscard]] constexpr bool IsLoopback(discovery::Ipv4Address address) {
    return address.octets[0] == 127;
}

// A single host we may answer: never 0.0.0.0, a broadcast or a multicast group, and within
// 127.0.0.0/8 unless the scope is a private namespace.
[[nodiscard]] constexpr bool MayReplyTo(discovery::Ipv4Address address, NetworkScope scope) {
    const auto first = address.octets[0];
    if (address.IsZero() || first >= 224 || address.octets[3] == 255) return false;
    return scope == NetworkScope::PrivateNamespace || IsLoopback(address);
}

}  // namespace omblor::modulesim
