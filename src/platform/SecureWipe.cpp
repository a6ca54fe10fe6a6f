#include "platform/SecureWipe.h"

namespace omblor::platform {

// The byte wipe itself is the platform's (SecureWipePosix.cpp, SecureWipeWin32.cpp).

void SecureWipe(std::string& text) noexcept {
    // Earlier, longer contents may linger past size() up to capacity(); the resize zero-fills
    // that tail (it cannot reallocate), and the wipe covers the rest.
    text.resize(text.capacity());
    SecureWipe(std::as_writable_bytes(std::span(text)));
    text.clear();
}

}  // namespace omblor::platform
