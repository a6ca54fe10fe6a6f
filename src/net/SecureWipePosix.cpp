#include <string.h>  // explicit_bzero

#include "net/SecureWipe.h"

namespace omblor::net {

void SecureWipe(std::span<std::byte> bytes) noexcept {
    if (!bytes.empty()) ::explicit_bzero(bytes.data(), bytes.size());
}

}  // namespace omblor::net
