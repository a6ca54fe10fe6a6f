// SHA-256 from the platform's maintained implementation: nettle on Linux, CNG on Windows.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace omblor::ctl {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::span<const std::uint8_t> bytes);

}  // namespace omblor::ctl
