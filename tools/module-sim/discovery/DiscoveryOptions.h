// The discovery role's command line as a plain struct, parsed and checked before anything is
// opened, so tests can build options without argv.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "discovery/Ipv4Address.h"

namespace omblor::modulesim {

enum class AnswerAcks { No, All, Missing };

struct DiscoveryOptions {
    std::vector<std::string> moduleFiles;
    int generate = 0;
    discovery::Ipv4Address generateFirst{{10, 78, 0, 1}};
    // Wildcard by default: the request arrives as a broadcast.
    discovery::Ipv4Address listen{};
    std::uint16_t port = 20034;
    AnswerAcks answerAcks = AnswerAcks::No;
    bool relay = false;
    // Replies per second at most; 0 sends every due reply at once.
    int rate = 20000;
    std::chrono::milliseconds timeout{60000};
    bool help = false;
};

struct ParsedDiscoveryOptions {
    DiscoveryOptions options;
    std::string error;  // empty when the command line was good
};

ParsedDiscoveryOptions ParseDiscoveryOptions(std::span<const std::string> args);

extern const std::string_view kDiscoveryHelp;

}  // namespace omblor::modulesim
