// What the simulated module is told to do, parsed from its command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace omblor::sim {

// The steps of the exchange, in the order the module drives them.
enum class Step { Platform, Credentials, Header, Image, Progress, Reboot, Complete, Count };

struct SimOptions {
    std::string address = "127.0.0.1";
    bool allowAnyAddress = false;
    std::uint16_t port = 20034;
    int connections = 1;
    int timeoutSeconds = 120;

    std::optional<std::string> platform = std::string("QX19");  // nothing: no code-100 line
    std::optional<std::string> platformLine;                    // a raw code-100 line instead
    std::optional<std::string> user;                            // set: ask for credentials
    std::string password;
    std::optional<std::uint32_t> expectLength;
    int progressLines = 4;
    std::vector<int> progressCodes;  // explicit progress codes instead of progressLines
    int completeCode = 106;

    std::optional<Step> failAt;  // send failLine instead of this step's line
    std::string failLine = "250 Flash write failed";
    std::optional<Step> silentAt;  // send nothing from this step on, keep the connection
    std::optional<Step> closeAt;   // close the connection at this step
    int longLine = 0;              // send a line of this many characters first
    bool splitLines = false;       // each line in two writes, split between CR and LF
    bool together = false;         // code 100 and 102 in one write
    int lineDelayMs = 0;           // pause before each line

    std::string saveImage;
    std::string transcript;
};

// Parses argv; on error or --help returns nothing and `message` says why (or holds the usage).
std::optional<SimOptions> ParseSimOptions(const std::vector<std::string>& args,
                                          std::string& message);
std::optional<Step> StepNamed(const std::string& name);

}  // namespace omblor::sim
