// omblorctl's command line, declared once: every command with its operands and its options, each
// option with one line of help. The parsers, the usage lines, each command's --help and the bash
// completion are all made from that declaration, so none of them can forget an option.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"

namespace omblor::ctl {

enum class Format { Table, Json };
enum class Reboot { Yes, No };
// Whether update first searches and adds the modules it finds.
enum class FoundModules { Leave, Add };
enum class ImageAction { Info, Convert };
// A dry run reads the file and resolves the modules, but connects to none.
enum class DryRun { No, Yes };
// Whether each programmed module must be heard by a search again after its reboot.
enum class Confirm { No, Yes };

struct FindOptions {
    Format format = Format::Table;
    // How long to go on listening after the third acknowledgement.
    std::chrono::milliseconds extra{0};
};

struct UpdateOptions {
    std::string file;
    std::vector<std::string> addresses;
    FoundModules found = FoundModules::Leave;
    Reboot reboot = Reboot::Yes;
    std::optional<std::string> user;
    std::string passwordFile;
    std::size_t parallel = 64;
    Format format = Format::Table;
    // Further attempts after a transient failure, the first one `retryDelay` later, each
    // further one twice as late as the one before.
    std::size_t retries = 0;
    std::chrono::milliseconds retryDelay{2000};
    // The first `canary` modules are programmed before any other starts.
    std::size_t canary = 0;
    // No new connection once this many modules have ended not programmed.
    std::optional<std::size_t> maxFailures;
    DryRun dryRun = DryRun::No;
    Confirm confirm = Confirm::No;
    std::chrono::milliseconds confirmTimeout{60000};
    std::string failedFrom;  // an earlier run's results or log; empty for none
    std::string log;         // the traceability log; empty for none
};

struct ImageOptions {
    ImageAction action = ImageAction::Info;
    std::string file;
    std::string out;  // convert only
};

// A command's options when it is to run; otherwise the exit code to end with (0 after --help,
// 2 after a usage error), whatever there was to say already printed.
template <class Options>
struct Parsed {
    std::optional<Options> options;
    int exitCode = kExitUsage;
};

// Each takes the command's own arguments, argv[0] being the command's name.
Parsed<FindOptions> ParseFind(int argc, char** argv);
Parsed<UpdateOptions> ParseUpdate(int argc, char** argv);
Parsed<ImageOptions> ParseImage(int argc, char** argv);

// The top level: every command's usage line (for a wrong command line), the full help, and the
// bash completion script (`omblorctl --bash-completion`, which the build installs).
std::string TopUsage();
std::string TopHelp();
std::string BashCompletion();

}  // namespace omblor::ctl
