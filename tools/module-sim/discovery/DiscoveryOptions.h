// The discovery role's command line as a plain struct, parsed and checked before anything is
// opened, so tests can build options without argv.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "discovery/Ipv4Address.h"
#include "net/ModulePort.h"

namespace omblor::modulesim {

enum class AnswerAcks { No, All, Missing };

struct DiscoveryOptions {
    std::vector<std::string> moduleFiles;
    int generate = 0;
    // Where requests come in (not options: a private namespace gets the wildcard, since the
    // request arrives as a broadcast, anywhere else loopback; tests pick their own).
    discovery::Ipv4Address listen{};
    std::uint16_t port = net::kModulePort;
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

std::string DiscoveryHelp();

}  // namespace omblor::modulesim
