// module-sim: a simulated module for trying the tool without hardware and for its end-to-end
// tests. It listens on loopback, plays the scripted module side of the update exchange, and
// ends with a summary line and an exit code that says whether the tool behaved as scripted.
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "module-sim/discovery/RunDiscoveryRole.h"
#include "module-sim/SimOptions.h"
#include "module-sim/UpdateServer.h"
#include "net/PollEventLoop.h"

namespace {

using namespace omblor::modulesim;
using omblor::net::PollEventLoop;
using omblor::net::ScopedTimer;
using omblor::net::ScopedWatch;
using omblor::net::UniqueFd;

constexpr int kExitMismatch = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTimeout = 3;
constexpr int kExitStopped = 4;

void PrintLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    // Scripts wait for these lines while the simulator runs.
    std::fflush(stdout);
}

// SIGINT and SIGTERM arrive as readable data on the loop, so they end the run like a time-out.
UniqueFd OpenSignalFd() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return {};
    return UniqueFd(::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "discover") {
        return RunDiscoveryRole(std::vector<std::string>(argv + 2, argv + argc));
    }
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseSimOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "module-sim: %s\n(module-sim --help lists the options)\n",
                     parsed.error.c_str());
        return kExitUsage;
    }
    const SimOptions& options = parsed.options;
    if (options.help) {
        std::fwrite(kSimHelp.data(), 1, kSimHelp.size(), stdout);
        return 0;
    }
    std::signal(SIGPIPE, SIG_IGN);

    PollEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);

    UpdateServer server(
        options, {.on_connected =
                      [](int number, const std::string& peer) {
                          PrintLine("connection " + std::to_string(number) + " from " + peer);
                      },
                  .on_session_ended =
                      [](const SessionReport& report) {
                          for (const auto& text : report.mismatches) {
                              PrintLine("mismatch " + std::to_string(report.number) + ": " + text);
                          }
                          PrintLine(report.Format());
                      }});
    if (const auto error = server.Listen()) {
        std::fprintf(stderr, "module-sim: %s\n", error->c_str());
        return kExitUsage;
    }
    PrintLine("listening " + options.address + ":" + std::to_string(server.Port()));

    bool timedOut = false;
    bool stopped = false;
    const ScopedTimer limit(options.timeout, omblor::net::Repeat::No, [&] {
        timedOut = true;
        server.Stop(Outcome::Timeout);
    });
    const UniqueFd signals = OpenSignalFd();
    ScopedWatch signalWatch;
    if (signals.Valid()) {
        signalWatch = ScopedWatch(signals.Get(), omblor::net::kFdRead, [&](int fd, unsigned) {
            signalfd_siginfo info{};
            [[maybe_unused]] const auto n = ::read(fd, &info, sizeof info);
            stopped = true;
            server.Stop(Outcome::Stopped);
        });
    }

    loop.RunUntil([&] { return server.Done(); });

    int passed = 0;
    for (const auto& report : server.Reports()) passed += report.Passed() ? 1 : 0;
    const int served = static_cast<int>(server.Reports().size());
    int code = 0;
    std::string status = "ok";
    if (timedOut) {
        code = kExitTimeout;
        status = "timeout";
    } else if (stopped) {
        code = kExitStopped;
        status = "stopped";
    } else if (passed != served) {
        code = kExitMismatch;
        status = "unexpected";
    }
    PrintLine("summary connections=" + std::to_string(served) + " ok=" + std::to_string(passed) +
              " status=" + status + " exit=" + std::to_string(code));
    return code;
}
