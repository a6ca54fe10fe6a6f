// omblorctl update FILE [ADDRESS...] [--found] [--no-reboot] [--user U] [--password-file F]
// [--parallel N] [--json]: reads the file once, then programs every module at once.
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "Fleet.h"
#include "Options.h"
#include "Output.h"
#include "Password.h"
#include "ProgressView.h"
#include "SearchRun.h"
#include "StderrMessages.h"
#include "StopSignal.h"
#include "image/AppImageReader.h"
#include "platform/WriteAll.h"
#include "update/ModuleLine.h"

namespace omblor::ctl {

namespace {

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
    const auto parsed = ParseUpdate(argc, argv);
    if (!parsed.options) return parsed.exitCode;
    const auto& options = parsed.options;

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
    if (options->found == FoundModules::Add) {
        SearchRun search;
        search.Run(std::chrono::milliseconds(0), [&] { return stop.Stopped(); });
        AddFound(modules, search, image->headerText);
    }

    const auto view = ProgressView::ForStderr();
    Fleet fleet(*image,
                {.reboot = options->reboot == Reboot::Yes,
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
    if (options->format == Format::Json) {
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
