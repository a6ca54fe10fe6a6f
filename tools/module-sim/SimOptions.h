// The update role's command line as a plain struct: where to listen, how long to live, and the
// knobs of the scripted exchange. Parsing only checks and converts; the script is built from the
// struct by Script, so tests can build options without going through argv.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "module-sim/Step.h"
#include "net/ModulePort.h"

namespace omblor::modulesim {

// Per-step changes to how that step's line goes out.
struct StepTweaks {
    std::optional<std::size_t> pad;    // pad the text with '.' to this many characters
    std::optional<std::size_t> split;  // bytes in the first of two writes
    bool splitAfterCr = false;         // split between the line's CR and LF
    bool coalesce = false;  // same write as the line before, without waiting for its reply
};

struct SimOptions {
    // Where and how long.
    std::string address = "127.0.0.1";
    std::uint16_t port = net::kModulePort;
    std::chrono::milliseconds timeout{120000};
    // After the scripted end, how long the tool may keep the connection (tests shorten it).
    std::chrono::milliseconds endWait{5000};
    // Each line waits this long before it goes out, so a person can watch the exchange.
    std::chrono::milliseconds lineDelay{0};
    std::string saveImage;
    std::string transcript;

    // The exchange.
    std::string platform = "QX19";
    std::optional<std::string> user;  // set: ask for credentials and expect this user
    std::string password;             // the password expected with `user`
    std::vector<std::int32_t> progress = {325, 350, 375, 400};
    std::optional<Step> failAt;
    std::optional<Step> closeAt;
    std::optional<Step> silentAt;
    std::string failLine = "250 Programming failed";
    std::array<StepTweaks, kAllSteps.size()> tweaks{};

    // What the replies must hold.
    std::optional<std::uint32_t> expectLength;
    std::optional<char> expectReboot;
    std::optional<Outcome> expect;

    bool help = false;

    [[nodiscard]] const StepTweaks& Tweaks(Step step) const { return tweaks[StepIndex(step)]; }
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was good
};

ParsedOptions ParseSimOptions(std::span<const std::string> args);

std::string SimHelp();

}  // namespace omblor::modulesim
