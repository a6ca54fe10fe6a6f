#include "module-sim/discovery/RunDiscoveryRole.h"

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <set>
#include <variant>

#include "module-sim/CommandLine.h"
#include "module-sim/discovery/DiscoveryOptions.h"
#include "module-sim/discovery/DiscoveryResponder.h"
#include "module-sim/discovery/NetworkScope.h"
#include "module-sim/discovery/SimulatedModule.h"
#include "net/PollEventLoop.h"

namespace omblor::modulesim {

namespace {

constexpr int kExitUsage = 2;

int Refuse(const std::string& reason) {
    std::fprintf(stderr, "module-sim discover: %s\n", reason.c_str());
    return kExitUsage;
}

// Outside a private namespace every address we bind or send from must be loopback, so a real
// network never sees us; the destinations are checked again per reply.
std::optional<std::string> CheckScope(const DiscoveryOptions& o,
                                      const std::vector<SimulatedModule>& modules,
                                      NetworkScope scope) {
    if (scope == NetworkScope::PrivateNamespace || o.relay) return std::nullopt;
    const auto outside = std::find_if(modules.begin(), modules.end(), [](const SimulatedModule& m) {
        return !IsLoopback(m.source);
    });
    if (outside != modules.end()) {
        return "refusing to send from " + outside->source.Dotted() +
               " outside a private network namespace (this one has interfaces besides lo); use "
               "--relay";
    }
    return std::nullopt;
}

// One socket per source address: allow that many descriptors, up to the hard limit.
void RaiseDescriptorLimit(std::size_t sockets) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(sockets) + 64;
    if (limit.rlim_cur >= wanted) return;
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// Plays the modules on `loop` until the time limit or a signal; returns the exit code.
int Serve(const DiscoveryOptions& options, std::vector<SimulatedModule> modules,
          NetworkScope scope) {
    const std::size_t count = modules.size();
    DiscoveryResponder responder(options, std::move(modules), scope, {.on_event = PrintLine});
    if (const auto error = responder.Open()) return Refuse(*error);
    PrintLine("listening " + options.listen.Dotted() + ":" + std::to_string(responder.Port()) +
              " modules=" + std::to_string(count) + (options.relay ? " relay" : ""));

    RunUntilDone(
        options.timeout, [] { return false; }, [](RunEnd) {});

    const auto& c = responder.Counts();
    PrintLine("summary requests=" + std::to_string(c.requests) + " acknowledgements=" +
              std::to_string(c.acknowledgements) + " replies=" + std::to_string(c.replies) +
              " failed=" + std::to_string(c.failed) + " ignored=" + std::to_string(c.ignored) +
              " unsent=" + std::to_string(responder.Pending()));
    return 0;
}

}  // namespace

int RunDiscoveryRole(const std::vector<std::string>& args) {
    const ParsedDiscoveryOptions parsed = ParseDiscoveryOptions(args);
    if (!parsed.error.empty()) {
        return Refuse(parsed.error + "\n(module-sim discover --help lists the options)");
    }
    DiscoveryOptions options = parsed.options;
    if (options.help) {
        std::fputs(DiscoveryHelp().c_str(), stdout);
        return 0;
    }

    std::vector<SimulatedModule> modules;
    for (const auto& file : options.moduleFiles) {
        auto read = ReadModuleFile(file);
        if (const auto* error = std::get_if<std::string>(&read)) return Refuse(*error);
        auto& more = std::get<std::vector<SimulatedModule>>(read);
        modules.insert(modules.end(), more.begin(), more.end());
    }
    const auto generated =
        GenerateModules(options.generate, discovery::Ipv4Address{{10, 78, 0, 1}});
    modules.insert(modules.end(), generated.begin(), generated.end());

    const NetworkScope scope = DetectNetworkScope();
    if (const auto refusal = CheckScope(options, modules, scope)) return Refuse(*refusal);
    if (scope == NetworkScope::LoopbackOnly)
        options.listen = discovery::Ipv4Address{{127, 0, 0, 1}};
    std::set<std::uint32_t> sources;
    for (const auto& m : modules) sources.insert(m.source.HostOrder());
    RaiseDescriptorLimit(options.relay ? 1 : sources.size());
    std::signal(SIGPIPE, SIG_IGN);

    net::PollEventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    // Everything on the loop is gone before the loop is.
    const int code = Serve(options, std::move(modules), scope);
    net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace omblor::modulesim
