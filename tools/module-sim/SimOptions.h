// The simulator's command line as a plain struct: where to listen, how long to live, and every
// knob of the scripted exchange. Parsing only checks and converts; the script is built from the
// struct by Script, so tests can build options without going through argv.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "module-sim/Step.h"

namespace omblor::modulesim {

// Per-step changes to how that step's line goes out.
struct StepTweaks {
    std::optional<std::string> line;  // replaces the default text (CR LF is appended)
    std::optional<std::size_t> pad;   // pad the text with '.' to this many characters
    std::chrono::milliseconds delay{0};
    std::optional<std::size_t> split;  // bytes in the first of two writes
    bool splitAfterCr = false;         // split between the line's CR and LF
    bool coalesce = false;  // same write as the line before, without waiting for its reply
    bool skip = false;
};

struct SimOptions {
    // Where and how long.
    std::string address = "127.0.0.1";
    std::uint16_t port = 20034;
    bool allowAnyAddress = false;
    int connections = 1;
    std::chrono::milliseconds timeout{120000};
    std::chrono::milliseconds endWait{5000};
    std::chrono::milliseconds splitDelay{50};
    std::string saveImage;
    std::string transcript;

    // The exchange.
    std::string platform = "QX19";
    std::optional<std::string> user;  // set: ask for credentials and expect this user
    std::string password;             // the password expected with `user`
    std::vector<std::int32_t> progress = {325, 350, 375, 400};
    int completeCode = 106;
    std::optional<Step> failAt;
    std::optional<Step> closeAt;
    std::optional<Step> silentAt;
    std::string failLine = "250 Programming failed";
    std::string refuseLine = "251 Platform not supported";
    std::string denyLine = "252 Login failed";
    std::string wrongHeaderLine = "253 Wrong image length";

    // Shaping every line at once; a step's own tweak wins over these.
    std::optional<std::size_t> longLine;  // a line of this many 'x' before everything else
    bool splitLines = false;              // every line split between its CR and LF
    bool together = false;                // the line after the platform line in the same write
    std::chrono::milliseconds lineDelay{0};

    // What the replies must hold.
    std::optional<std::uint32_t> expectBase;
    std::optional<std::uint32_t> expectLength;
    std::optional<char> expectReboot;
    std::optional<Outcome> expect;
    std::size_t maxImage = std::size_t{256} << 20;

    std::array<StepTweaks, kAllSteps.size()> tweaks{};
    bool help = false;

    [[nodiscard]] const StepTweaks& Tweaks(Step step) const { return tweaks[StepIndex(step)]; }
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was good
};

ParsedOptions ParseSimOptions(std::span<const std::string_view> args);

// Turns \r \n \t \0 \\ and \xHH into their bytes, so a line can carry any byte from a shell.
std::optional<std::string> Unescape(std::string_view text);

extern const std::string_view kSimHelp;

}  // namespace omblor::modulesim
