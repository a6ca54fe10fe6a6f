// omblorctl update FILE [ADDRESS...] [--found] [--no-reboot] [--user U] [--password-file F]
// [--parallel N] [--json]: reads the file once, then programs every module at once.
#include <arpa/inet.h>
#include <getopt.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "Fleet.h"
#include "Output.h"
#include "Password.h"
#include "ProgressView.h"
#include "ReaderMessages.h"
#include "SearchRun.h"
#include "StopSignal.h"
#include "image/AppImageReader.h"
#include "platform/WriteAll.h"
#include "update/ModuleLine.h"

namespace omblor::ctl {

namespace {

constexpr const char* kUpdateUsage =
    "usage: omblorctl update FILE [ADDRESS...] [--found] [--no-reboot] [--user U]\n"
    "                        [--password-file F] [--parallel N] [--json]\n";

struct UpdateOptions {
    std::string file;
    std::vector<std::string> addresses;
    bool found = false;
    bool reboot = true;
    std::optional<std::string> user;
    std::string passwordFile;
    std::size_t parallel = 64;
    bool json = false;
};

int Usage(const char* problem = nullptr) {
    if (problem != nullptr) std::fprintf(stderr, "omblorctl: %s\n", problem);
    std::fputs(kUpdateUsage, stderr);
    return kExitUsage;
}

// The options, or the exit code for a usage error or --help.
std::optional<UpdateOptions> Parse(int argc, char** argv, int& exitCode) {
    static const option kOptions[] = {{"found", no_argument, nullptr, 'f'},
                                      {"no-reboot", no_argument, nullptr, 'n'},
                                      {"user", required_argument, nullptr, 'u'},
                                      {"password-file", required_argument, nullptr, 'p'},
                                      {"parallel", required_argument, nullptr, 'P'},
                                      {"json", no_argument, nullptr, 'j'},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    UpdateOptions options;
    exitCode = kExitUsage;
    optind = 1;
    for (int c; (c = ::getopt_long(argc, argv, "", kOptions, nullptr)) != -1;) {
        switch (c) {
            case 'f':
                options.found = true;
                break;
            case 'n':
                options.reboot = false;
                break;
            case 'u':
                options.user = optarg;
                break;
            case 'p':
                options.passwordFile = optarg;
                break;
            case 'j':
                options.json = true;
                break;
            case 'P': {
                char* end = nullptr;
                const long n = std::strtol(optarg, &end, 10);
                if (*optarg == '\0' || *end != '\0' || n < 1 || n > 100000) {
                    Usage("--parallel wants a number from 1 to 100000");
                    return std::nullopt;
                }
                options.parallel = static_cast<std::size_t>(n);
                break;
            }
            case 'h':
                std::fputs(kUpdateUsage, stdout);
                exitCode = kExitOk;
                return std::nullopt;
            default:
                Usage();
                return std::nullopt;
        }
    }
    if (optind >= argc) {
        Usage("no application file");
        return std::nullopt;
    }
    options.file = argv[optind++];
    options.addresses.assign(argv + optind, argv + argc);
    if (options.addresses.empty() && !options.found) {
        Usage("no module: give addresses or --found");
        return std::nullopt;
    }
    if (!options.passwordFile.empty() && !options.user) {
        Usage("--password-file needs --user");
        return std::nullopt;
    }
    return options;
}

std::optional<std::uint32_t> ParseAddress(const std::string& text) {
    in_addr address{};
    if (::inet_pton(AF_INET, text.c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

void AddModule(std::vector<ModuleState>& modules, std::uint32_t hostOrder, std::string address) {
    // A module named twice is programmed once.
    if (std::ranges::any_of(modules,
                            [&](const ModuleState& m) { return m.hostOrder == hostOrder; }))
        return;
    ModuleState module;
    module.hostOrder = hostOrder;
    module.result.address = std::move(address);
    modules.push_back(std::move(module));
}

// Every module the search lists: those whose platform the file's header does not accept are
// reported as skipped and never connected to.
void AddFound(std::vector<ModuleState>& modules, const SearchRun& search, std::string_view header) {
    for (const auto& found : search.Devices().Modules()) {
        const auto address = discovery::UsableAddress(found->record, found->source);
        std::string platform = found->platformName;
        if (address.IsZero() || !update::PlatformAccepts(platform, header)) {
            ModuleState module;
            module.phase = ModuleState::Phase::Done;
            module.result = {address.Dotted(), std::string(outcome::kSkipped),
                             address.IsZero() ? "no address" : "platform " + found->platformName};
            modules.push_back(std::move(module));
            continue;
        }
        AddModule(modules, address.HostOrder(), address.Dotted());
    }
}

}  // namespace

int RunUpdate(int argc, char** argv) {
    int exitCode = kExitUsage;
    const auto options = Parse(argc, argv, exitCode);
    if (!options) return exitCode;

    std::vector<ModuleState> modules;
    for (const std::string& text : options->addresses) {
        const auto address = ParseAddress(text);
        if (!address) {
            std::fprintf(stderr, "omblorctl: not an IPv4 address: %s\n", text.c_str());
            return kExitUsage;
        }
        AddModule(modules, *address, text);
    }

    StderrMessages sink(options->file);
    const auto image = image::LoadAppImage(options->file, sink);
    if (!image) return kExitUsage;

    std::optional<update::Credentials> credentials;
    if (options->user) {
        std::string error;
        credentials = ReadCredentials(*options->user, options->passwordFile, error);
        if (!credentials) {
            std::fprintf(stderr, "omblorctl: %s\n", error.c_str());
            return kExitUsage;
        }
    }

    Fleet* running = nullptr;
    const StopSignal stop([&] {
        if (running != nullptr) running->Stop();
    });
    if (options->found) {
        SearchRun search;
        search.Run(std::chrono::milliseconds(0), [&] { return stop.Stopped(); });
        AddFound(modules, search, image->headerText);
    }

    const auto view = ProgressView::ForStderr();
    Fleet fleet(*image,
                {.reboot = options->reboot,
                 .parallel = options->parallel,
                 .credentials = credentials ? &*credentials : nullptr},
                std::move(modules), *view);
    running = &fleet;
    if (stop.Stopped()) fleet.Stop();
    fleet.Run();
    running = nullptr;

    std::vector<ModuleResult> results;
    for (const ModuleState& module : fleet.Modules()) results.push_back(module.result);
    std::string out;
    if (options->json) {
        for (const auto& result : results) out += ResultJsonLine(result);
    } else {
        out = ResultTable(results);
    }
    platform::WriteAll(STDOUT_FILENO, out);

    const bool allDone = std::ranges::all_of(results, [](const ModuleResult& r) {
        return r.outcome == outcome::kProgrammed || r.outcome == outcome::kSkipped;
    });
    const bool anyProgrammed = std::ranges::any_of(
        results, [](const ModuleResult& r) { return r.outcome == outcome::kProgrammed; });
    return allDone && anyProgrammed ? kExitOk : kExitFailed;
}

}  // namespace omblor::ctl
