#include <windows.h>

#include "platform/SecureWipe.h"

namespace omblor::platform {

void SecureWipe(std::span<std::byte> bytes) noexcept {
    if (!bytes.empty()) ::SecureZeroMemory(bytes.data(), bytes.size());
}

}  // namespace omblor::platform
