#include "Sha256.h"

namespace omblor::ctl {

std::string Sha256Hex(std::span<const std::uint8_t> bytes) {
    std::string hex;
    constexpr char kDigits[] = "0123456789abcdef";
    for (const std::uint8_t byte : Sha256(bytes)) {
        hex.push_back(kDigits[byte >> 4]);
        hex.push_back(kDigits[byte & 0xF]);
    }
    return hex;
}

}  // namespace omblor::ctl
