// One simulated module interface as the discovery role plays it: what its reply says, where the
// reply comes from and how long the interface waits before answering. Also reads the module file
// (one interface a line) and makes generated populations for the benchmark. It sends nothing;
// DiscoveryResponder does.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "discovery/Ipv4Address.h"
#include "discovery/ReplyRecord.h"

namespace omblor::modulesim {

struct SimulatedModule {
    discovery::MacAddress mac{};
    // All zero: the interface is a module of its own.
    discovery::MacAddress identity{};
    std::uint8_t type = 0;
    discovery::Ipv4Address configured{};
    // Present: the reply carries the extension marker and this active address.
    std::optional<discovery::Ipv4Address> active;
    std::string platform = "QX19";
    // Absent: the reply ends after the platform name's NUL.
    std::optional<std::string> application;
    // The address the reply is sent from (or, relayed, the one in its trailer).
    discovery::Ipv4Address source{};
    std::chrono::milliseconds delay{0};
};

// The reply datagram this interface sends, without a relay trailer.
[[nodiscard]] std::vector<std::uint8_t> BuildReplyDatagram(const SimulatedModule& module);

// A datagram longer than this would be dropped by the tool once a relay trailer is added.
inline constexpr std::size_t kMaxReplySize = 1020;

struct ModuleLineError {
    std::string reason;
};
// One line of a module file; std::nullopt for a blank or comment line.
using ModuleLine = std::variant<std::optional<SimulatedModule>, ModuleLineError>;
[[nodiscard]] ModuleLine ParseModuleLine(std::string_view line);

// All modules of a file, or "FILE:LINE: reason".
using ModuleList = std::variant<std::vector<SimulatedModule>, std::string>;
[[nodiscard]] ModuleList ReadModuleFile(const std::string& path);

// `count` single modules with distinct MACs (02-00-00-00-hi-lo, so acknowledgement entries stay
// distinct) and consecutive addresses from `first`, each agreeing with its source.
[[nodiscard]] std::vector<SimulatedModule> GenerateModules(int count, discovery::Ipv4Address first);

// "02-00-00-00-00-01" or with colons.
[[nodiscard]] std::optional<discovery::MacAddress> ParseMac(std::string_view text);
[[nodiscard]] std::optional<discovery::Ipv4Address> ParseAddress(std::string_view text);

extern const std::string_view kModuleFileHelp;

}  // namespace omblor::modulesim
