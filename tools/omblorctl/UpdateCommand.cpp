// omblorctl update FILE [ADDRESS...] [--found] [--failed-from F] and the run's options: reads
// the file once, resolves the modules, then programs them on one loop under the line's rules,
// each result out as its module ends.
#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Commands.h"
#include "Confirmation.h"
#include "FailedFrom.h"
#include "Fleet.h"
#include "Options.h"
#include "Output.h"
#include "Password.h"
#include "ProgressView.h"
#include "ResultStream.h"
#include "SearchRun.h"
#include "StderrMessages.h"
#include "StopSignal.h"
#include "TraceLog.h"
#include "image/AppImageReader.h"
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
        ModuleState module;
        for (const discovery::DeviceRecord* entry : InterfacesOf(*found))
            module.macs.push_back(entry->record.InterfaceMac());
        if (!module.macs.empty()) module.result.mac = MacText(module.macs.front());
        module.result.address = address.Dotted();
        if (address.IsZero() || !update::PlatformAccepts(platform, header)) {
            module.phase = ModuleState::Phase::Done;
            module.result.outcome = outcome::kSkipped;
            module.result.detail =
                address.IsZero() ? "no address" : "platform " + found->platformName;
            modules.push_back(std::move(module));
            continue;
        }
        // A module named twice is programmed once; the search's record of it counts.
        const auto named = std::ranges::find_if(
            modules, [&](const ModuleState& m) { return m.hostOrder == address.HostOrder(); });
        module.hostOrder = address.HostOrder();
        if (named == modules.end())
            modules.push_back(std::move(module));
        else if (named->phase == ModuleState::Phase::Waiting)
            *named = std::move(module);
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
    if (!options->failedFrom.empty()) {
        auto read = FailedAddresses(options->failedFrom);
        if (const auto* reason = std::get_if<std::string>(&read)) {
            std::fprintf(stderr, "omblorctl: %s\n", reason->c_str());
            return kExitUsage;
        }
        for (std::string& text : std::get<Addresses>(read)) {
            const auto address = ParseAddress(text);
            if (!address) {
                std::fprintf(stderr, "omblorctl: %s: not an IPv4 address: %s\n",
                             options->failedFrom.c_str(), text.c_str());
                return kExitUsage;
            }
            AddModule(modules, *address, std::move(text));
        }
        if (modules.empty() && options->found == FoundModules::Leave) {
            std::fprintf(stderr, "omblorctl: no module failed in %s\n",
                         options->failedFrom.c_str());
            return kExitOk;
        }
    }

    StderrMessages sink(options->file);
    const auto image = image::LoadAppImage(options->file, sink);
    if (!image) return kExitUsage;

    // Opened before any connection, so a log that cannot be kept stops the run at once. A dry run
    // programs nothing and leaves the record alone.
    std::optional<TraceLog> log;
    if (!options->log.empty() && options->dryRun == DryRun::No) {
        auto opened =
            TraceLog::Open(options->log, GatherRunFacts(*image, options->file, options->confirm));
        if (const auto* reason = std::get_if<std::string>(&opened)) {
            std::fprintf(stderr, "omblorctl: cannot open log %s: %s\n", options->log.c_str(),
                         reason->c_str());
            return kExitUsage;
        }
        log.emplace(std::move(std::get<TraceLog>(opened)));
    }

    std::optional<update::Credentials> credentials;
    // A dry run connects to nothing, so it asks for no password.
    if (options->user && options->dryRun == DryRun::No) {
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

    // A record that can no longer be kept stops the run: nothing is programmed unrecorded.
    bool logFailed = false;
    std::function<void(const ModuleResult&)> logAttempt;
    if (log) {
        logAttempt = [&](const ModuleResult& result) {
            std::string error;
            if (log->Append(result, error) || logFailed) return;
            logFailed = true;
            std::fprintf(stderr, "omblorctl: cannot write log %s: %s\n", options->log.c_str(),
                         error.c_str());
            if (running != nullptr) running->Stop();
        };
    }
    ResultStream results(options->format, logAttempt);
    // Those the search skipped have ended already.
    for (const ModuleState& module : modules) {
        if (module.phase == ModuleState::Phase::Done) results.ModuleEnded(module);
    }
    if (options->dryRun == DryRun::Yes) {
        for (ModuleState& module : modules) {
            if (module.phase == ModuleState::Phase::Done) continue;
            module.result.outcome = outcome::kWouldProgram;
            results.ModuleEnded(module);
        }
        return results.ExitCode();
    }

    const auto view = ProgressView::ForStderr();
    Fleet fleet(*image,
                {.reboot = options->reboot == Reboot::Yes,
                 .parallel = options->parallel,
                 .credentials = credentials ? &*credentials : nullptr,
                 .retries = options->retries,
                 .retryDelay = options->retryDelay,
                 .canary = options->canary,
                 .maxFailures = options->maxFailures,
                 .jitter = {}},
                std::move(modules), *view, results);
    std::optional<Confirmation> confirmation;
    if (options->confirm == Confirm::Yes) {
        confirmation.emplace(fleet, options->confirmTimeout);
        fleet.ConfirmWith(*confirmation);
    }
    running = &fleet;
    if (stop.Stopped()) fleet.Stop();
    fleet.Run();
    running = nullptr;
    return logFailed ? kExitUsage : results.ExitCode();
}

}  // namespace omblor::ctl
