// module-sim: a simulated module for trying the tool without hardware and for its end-to-end
// tests. `module-sim discover ...` plays many modules answering the discovery search; anything
// else plays the module's side of the update exchange on loopback, for one module or many at
// once, and ends with a summary line and an exit code that says whether the tool behaved as
// scripted.
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module-sim/CommandLine.h"
#include "module-sim/SimOptions.h"
#include "module-sim/UpdateServer.h"
#include "module-sim/discovery/ModuleAnnouncer.h"
#include "module-sim/discovery/RunDiscoveryRole.h"
#include "net/PollEventLoop.h"
#include "platform/OpenFileLimit.h"
#include "resources/Strings.h"

namespace {

using namespace omblor::modulesim;

constexpr int kExitMismatch = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTimeout = 3;
constexpr int kExitStopped = 4;

int RunUpdateRole(const std::vector<std::string>& args) {
    const ParsedOptions parsed = ParseSimOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "module-sim: %s\n(module-sim --help lists the options)\n",
                     parsed.error.c_str());
        return kExitUsage;
    }
    const SimOptions& options = parsed.options;
    if (options.help) {
        std::fputs(SimHelp().c_str(), stdout);
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);

    const ModuleOptions modules = OptionsPerModule(options);
    if (!modules.error.empty()) {
        std::fprintf(stderr, "module-sim: %s\n", modules.error.c_str());
        return kExitUsage;
    }
    // A connection per module: a thousand modules need more descriptors than the usual 1024.
    omblor::platform::RaiseOpenFileLimit();

    omblor::net::PollEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);
    int code = 0;
    {
        ModuleAnnouncer announcer(modules.modules);
        if (!announcer.Empty()) {
            if (const auto error = announcer.Open()) {
                std::fprintf(stderr, "module-sim: %s\n", error->c_str());
                omblor::net::EventLoop::SetCurrent(nullptr);
                return kExitUsage;
            }
        }
        std::vector<std::unique_ptr<UpdateServer>> servers;
        for (const SimOptions& module : modules.modules) {
            const int number = static_cast<int>(servers.size()) + 1;
            const std::size_t index = servers.size();
            servers.push_back(std::make_unique<UpdateServer>(
                module,
                UpdateServer::Callbacks{
                    .on_connected =
                        [number](const std::string& peer) {
                            PrintLine("connection " + std::to_string(number) + " from " + peer);
                        },
                    .on_session_ended =
                        [](const SessionReport& report) {
                            for (const auto& text : report.mismatches)
                                PrintLine("mismatch " + std::to_string(report.number) + ": " +
                                          text);
                            PrintLine(report.Format());
                        },
                    .on_discovery =
                        [&announcer, index](const std::optional<std::string>& application) {
                            announcer.Changed(index, application);
                        }},
                number));
            if (const auto error = servers.back()->Listen()) {
                std::fprintf(stderr, "module-sim: %s\n", error->c_str());
                code = kExitUsage;
                break;
            }
        }
        if (code == 0) {
            PrintLine("listening " + options.address + ":" + std::to_string(servers[0]->Port()) +
                      (servers.size() > 1 ? " modules=" + std::to_string(servers.size()) : ""));
            const auto allDone = [&] {
                return std::ranges::all_of(servers, [](const auto& s) { return s->Done(); });
            };
            // Modules in the search stay there until the time limit or a signal: the tool may
            // search again after their connections are over. Ending so is no failure then.
            const auto runDone = announcer.Empty() ? std::function<bool()>(allDone)
                                                   : std::function<bool()>([] { return false; });
            bool doneBeforeEnd = false;
            RunEnd end = RunUntilDone(options.timeout, runDone, [&](RunEnd why) {
                doneBeforeEnd = allDone();
                for (auto& server : servers)
                    server->Stop(why == RunEnd::TimedOut ? Outcome::Timeout : Outcome::Stopped);
            });
            if (!announcer.Empty() && doneBeforeEnd) end = RunEnd::Done;
            std::size_t served = 0;
            std::size_t passed = 0;
            for (const auto& server : servers) {
                served += server->Reports().size();
                for (const auto& report : server->Reports()) passed += report.Passed() ? 1 : 0;
            }
            const bool allPassed =
                std::ranges::all_of(servers, [](const auto& s) { return s->Passed(); });
            std::string status = "ok";
            if (end != RunEnd::Done) {
                code = end == RunEnd::TimedOut ? kExitTimeout : kExitStopped;
                status = end == RunEnd::TimedOut ? "timeout" : "stopped";
            } else if (!allPassed) {
                code = kExitMismatch;
                status = "unexpected";
            }
            PrintLine("summary connections=" + std::to_string(served) +
                      " ok=" + std::to_string(passed) + " status=" + status +
                      " exit=" + std::to_string(code));
        }
    }
    omblor::net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--version") {
        std::printf("module-sim %s\n", std::string(omblor::resources::VersionText()).c_str());
        return 0;
    }
    if (argc > 1 && std::string_view(argv[1]) == "discover") {
        return RunDiscoveryRole(std::vector<std::string>(argv + 2, argv + argc));
    }
    return RunUpdateRole(std::vector<std::string>(argv + 1, argv + argc));
}
