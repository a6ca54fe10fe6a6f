#include "net/SecureWipe.h"

#include <string.h>  // explicit_bzero

namespace omblor::net {

void SecureWipe(std::span<std::byte> bytes) noexcept {
    if (!bytes.empty()) ::explicit_bzero(bytes.data(), bytes.size());
}

void SecureWipe(std::string& text) noexcept {
    // Earlier, longer contents may linger past size() up to capacity(); the resize zero-fills
    // that tail (it cannot reallocate), and the wipe covers the rest.
    text.resize(text.capacity());
    SecureWipe(std::as_writable_bytes(std::span(text)));
    text.clear();
}

}  // namespace omblor::net
