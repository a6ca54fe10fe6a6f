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
    bool coalesce = false;    // same write as the line before, without waiting for its reply
    std::size_t garbage = 0;  // lines of noise (code 0, which the tool ignores) before this one
};

// Whether the module also answers the discovery search (inside a private namespace only).
enum class Discoverable { No, Yes };

struct SimOptions {
    // Where and how long.
    std::string address = "127.0.0.1";
    std::uint16_t port = net::kModulePort;
    std::chrono::milliseconds timeout{120000};
    // After the scripted end, how long the tool may keep the connection (tests shorten it).
    std::chrono::milliseconds endWait{5000};
    // Each line waits this long before it goes out, so a person can watch the exchange.
    std::chrono::milliseconds lineDelay{0};
    // With more than one module, folders: each module writes <address>.bin / .transcript there.
    std::string saveImage;
    std::string transcript;
    // Many modules: this many consecutive addresses from `address`, each listening on `port`,
    // each with the options here changed by its line of the `variations` file.
    std::uint32_t modules = 1;
    std::string variations;

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
    // A slow module's image: taken no faster than `rate` bytes a second (0: as fast as it comes).
    std::uint64_t rate = 0;
    // Close once this many image bytes have come (the whole image when it is shorter).
    std::optional<std::uint64_t> closeInImage;
    // Each line goes out a byte at a time, this long apart.
    std::chrono::milliseconds drip{0};

    // A flaky module: the faults above (the scripted ends, --close-in-image, --drip, garbage)
    // play on the first `faulty` connections only, the plain exchange on later ones. Absent:
    // on every connection.
    std::optional<std::uint32_t> faulty;
    // How many connections the module serves, one after the other (default 1, or faulty + 1).
    std::optional<std::uint32_t> connections;

    // The module as the discovery search sees it. When the reboot answer R comes it goes quiet
    // for `rebootTime` (no reply, no connection), then answers with `applicationAfter`
    // (default: `application` + ".new").
    Discoverable discoverable = Discoverable::No;
    std::string application = "App";
    std::optional<std::string> applicationAfter;
    std::chrono::milliseconds rebootTime{2000};

    // What the replies must hold.
    std::optional<std::uint32_t> expectLength;
    std::optional<char> expectReboot;
    std::optional<Outcome> expect;

    bool help = false;

    [[nodiscard]] const StepTweaks& Tweaks(Step step) const { return tweaks[StepIndex(step)]; }
    [[nodiscard]] std::uint32_t Connections() const {
        return connections.value_or(faulty ? *faulty + 1 : 1);
    }
    [[nodiscard]] std::string ApplicationAfter() const {
        return applicationAfter.value_or(application + ".new");
    }
    // The same module without its faults: what it plays once the faulty connections are over.
    [[nodiscard]] SimOptions WithoutFaults() const;
};

struct ParsedOptions {
    SimOptions options;
    std::string error;  // empty when the command line was good
};

ParsedOptions ParseSimOptions(std::span<const std::string> args);

// The options of each module of a many-module run: consecutive addresses from the base's, each
// changed by the variations file's line for its address (`ADDRESS OPTION...`, the exchange's
// options as on the command line, a blank in a value written \x20). The error text instead
// when the file cannot be read or a line is bad.
struct ModuleOptions {
    std::vector<SimOptions> modules;
    std::string error;
};
ModuleOptions OptionsPerModule(const SimOptions& base);

std::string SimHelp();

}  // namespace omblor::modulesim
