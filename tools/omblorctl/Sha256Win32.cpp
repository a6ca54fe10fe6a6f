#include <windows.h>

#include <bcrypt.h>

#include "Sha256.h"

namespace omblor::ctl {

// An all-zero digest if CNG refuses, which no real image has.
Sha256Digest Sha256(std::span<const std::uint8_t> bytes) {
    Sha256Digest digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) {
        return digest;
    }
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0) {
        bool ok = true;
        // BCryptHashData takes at most 4 GiB - 1 at a time.
        for (std::span<const std::uint8_t> rest = bytes; ok && !rest.empty();) {
            const auto chunk =
                static_cast<ULONG>(rest.size() > (1U << 30) ? (1U << 30) : rest.size());
            ok = ::BCryptHashData(hash, const_cast<PUCHAR>(rest.data()), chunk, 0) == 0;
            rest = rest.subspan(chunk);
        }
        if (!ok || ::BCryptFinishHash(hash, digest.data(), digest.size(), 0) != 0) digest = {};
        ::BCryptDestroyHash(hash);
    }
    ::BCryptCloseAlgorithmProvider(algorithm, 0);
    return digest;
}

}  // namespace omblor::ctl
