// Pure pieces of the update exchange: reading a module line's code the way the C library's
// base-10 conversion does, the platform name of a code-100 line, the platform check, and the
// reply bytes. No socket and no window here, so each rule is testable on its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace omblor::update {

// Leading blanks skipped, one optional sign, digits up to the first non-digit; values beyond
// the signed 32-bit range clamp to its nearest end; no digits gives 0.
std::int32_t ParseLineCode(std::string_view line);

// The text after the line's first ':' up to the next ':' or the end; empty when there is none.
std::string PlatformNameOf(std::string_view line);

// Whether the image may go to a module reporting `platform` (which the check may rename from
// "QX19-512" to "QX19" for a "QX19" image, for the rest of the update).
bool PlatformAccepts(std::string& platform, std::string_view headerText);

// Base address and length, big-endian; all zero for a refused platform.
std::array<std::uint8_t, 8> ImageHeaderReply(std::uint32_t baseAddress, std::uint32_t length);

// User name, one zero byte, password, CR LF.
std::string CredentialsReply(std::string_view user, std::string_view password);

}  // namespace omblor::update
