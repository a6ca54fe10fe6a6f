// module-sim: a simulated module for trying the tool without hardware and for its end-to-end
// tests. `module-sim discover ...` plays many modules answering the discovery search; anything
// else plays the module's side of one update exchange on loopback and ends with a summary line
// and an exit code that says whether the tool behaved as scripted.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "module-sim/CommandLine.h"
#include "module-sim/SimOptions.h"
#include "module-sim/UpdateServer.h"
#include "module-sim/discovery/RunDiscoveryRole.h"
#include "net/PollEventLoop.h"

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

    omblor::net::PollEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);
    int code = 0;
    {
        UpdateServer server(
            options, {.on_connected =
                          [](const std::string& peer) { PrintLine("connection 1 from " + peer); },
                      .on_session_ended =
                          [](const SessionReport& report) {
                              for (const auto& text : report.mismatches)
                                  PrintLine("mismatch 1: " + text);
                              PrintLine(report.Format());
                          }});
        if (const auto error = server.Listen()) {
            std::fprintf(stderr, "module-sim: %s\n", error->c_str());
            code = kExitUsage;
        } else {
            PrintLine("listening " + options.address + ":" + std::to_string(server.Port()));
            const RunEnd end = RunUntilDone(
                options.timeout, [&] { return server.Done(); },
                [&](RunEnd why) {
                    server.Stop(why == RunEnd::TimedOut ? Outcome::Timeout : Outcome::Stopped);
                });
            const bool passed = !server.Reports().empty() && server.Reports().front().Passed();
            std::string status = "ok";
            if (end != RunEnd::Done) {
                code = end == RunEnd::TimedOut ? kExitTimeout : kExitStopped;
                status = end == RunEnd::TimedOut ? "timeout" : "stopped";
            } else if (!passed) {
                code = kExitMismatch;
                status = "unexpected";
            }
            const std::size_t served = server.Reports().size();
            PrintLine("summary connections=" + std::to_string(served) +
                      " ok=" + std::to_string(passed ? 1 : 0) + " status=" + status +
                      " exit=" + std::to_string(code));
        }
    }
    omblor::net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "discover") {
        return RunDiscoveryRole(std::vector<std::string>(argv + 2, argv + argc));
    }
    return RunUpdateRole(std::vector<std::string>(argv + 1, argv + argc));
}
