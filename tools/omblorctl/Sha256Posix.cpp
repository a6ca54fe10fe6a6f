#include <nettle/sha2.h>

#include "Sha256.h"

namespace omblor::ctl {

Sha256Digest Sha256(std::span<const std::uint8_t> bytes) {
    static_assert(SHA256_DIGEST_SIZE == std::tuple_size_v<Sha256Digest>);
    sha256_ctx context{};
    sha256_init(&context);
    sha256_update(&context, bytes.size(), bytes.data());
    Sha256Digest digest{};
    sha256_digest(&context, digest.size(), digest.data());
    return digest;
}

}  // namespace omblor::ctl
