// The update exchange's line codes, as the module sends them: a decimal code at the start of
// each CR LF line. The update session is the one place that reacts to them (its owners hear
// typed events); the simulated module sends them by these names too.
#pragma once

#include <cstdint>

#include "net/ModulePort.h"

namespace omblor::update {

inline constexpr std::uint16_t kUpdatePort = net::kModulePort;

namespace code {
inline constexpr std::int32_t kPlatform = 100;      // the module's platform name
inline constexpr std::int32_t kCredentials = 101;   // user name and password wanted
inline constexpr std::int32_t kImageHeader = 102;   // base address and length wanted
inline constexpr std::int32_t kImage = 103;         // the image itself wanted
inline constexpr std::int32_t kRebootChoice = 105;  // "R" or "D" wanted
inline constexpr std::int32_t kComplete = 106;      // programmed
inline constexpr std::int32_t kCompleteNoReboot = 107;
inline constexpr std::int32_t kFirstError = 201;  // 201..300: error, text follows
inline constexpr std::int32_t kLastError = 300;
inline constexpr std::int32_t kProgressBase = 300;  // 301 and above: progress = code - 300
}  // namespace code

// The tool's answer to the header request: the image's address and length, or zeros for a
// platform the file is not for.
enum class HeaderAnswer { Sent, Refused };
// The tool's answer to the reboot request: "R" or "D".
enum class RebootChoice { Reboot, Stay };

}  // namespace omblor::update
