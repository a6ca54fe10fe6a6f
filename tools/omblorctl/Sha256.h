// SHA-256 from the platform's maintained implementation: nettle on Linux, CNG on Windows.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace omblor::ctl {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::span<const std::uint8_t> bytes);

// Lower-case hex of the bytes' SHA-256, as sha256sum prints it.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace omblor::ctl
