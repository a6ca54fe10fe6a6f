// SHA-256 of a byte string, for the image tool's fingerprint of an image; operators compare it
// with sha256sum of a converted file. Not meant for anything secret.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace omblor::tools {

class Sha256 {
  public:
    void Update(std::span<const std::uint8_t> bytes);
    // Lower-case hex of the digest; the object is spent afterwards.
    std::string FinishHex();

    static std::string HexOf(std::span<const std::uint8_t> bytes) {
        Sha256 hash;
        hash.Update(bytes);
        return hash.FinishHex();
    }

  private:
    void Block(const std::uint8_t* block);

    std::array<std::uint32_t, 8> state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                        0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

}  // namespace omblor::tools
