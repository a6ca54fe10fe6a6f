// Overwrites secrets (passwords, the credentials reply) before their memory is released or reused,
// in a way the compiler may not drop as a dead store.
#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace omblor::platform {

void SecureWipe(std::span<std::byte> bytes) noexcept;
// Wipes the whole capacity, not only the current text, then empties the string.
void SecureWipe(std::string& text) noexcept;

}  // namespace omblor::platform
