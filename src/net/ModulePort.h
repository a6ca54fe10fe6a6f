// The module's one port: it listens for the update exchange on TCP and answers discovery
// requests on UDP at the same number.
#pragma once

#include <cstdint>

namespace omblor::net {

inline constexpr std::uint16_t kModulePort = 20034;

}  // namespace omblor::net
