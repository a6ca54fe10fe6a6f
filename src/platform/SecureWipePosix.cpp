#include <string.h>  // explicit_bzero

#include "platform/SecureWipe.h"

namespace omblor::platform {

void SecureWipe(std::span<std::byte> bytes) noexcept {
    if (!bytes.empty()) ::explicit_bzero(bytes.data(), bytes.size());
}

}  // namespace omblor::platform
