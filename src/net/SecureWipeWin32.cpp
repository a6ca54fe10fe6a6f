#include <windows.h>

#include "net/SecureWipe.h"

namespace omblor::net {

void SecureWipe(std::span<std::byte> bytes) noexcept {
    if (!bytes.empty()) ::SecureZeroMemory(bytes.data(), bytes.size());
}

}  // namespace omblor::net
