// omblorctl: finds and programs modules from scripts and production lines, many at once, on the
// same exchange and discovery code as the window.
#include <csignal>
#include <cstdio>
#include <string_view>

#include "Commands.h"
#include "StderrHost.h"
#include "net/OpenFileLimit.h"
#include "net/PollEventLoop.h"

namespace {

constexpr const char* kUsage =
    "usage: omblorctl find [--json] [--seconds S]\n"
    "       omblorctl update FILE [ADDRESS...] [--found] [--no-reboot] [--user U]\n"
    "                        [--password-file F] [--parallel N] [--json]\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace omblor::ctl;
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    int (*run)(int, char**) = nullptr;
    if (command == "find") run = RunFind;
    if (command == "update") run = RunUpdate;
    if (run == nullptr) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    // A connection per module: a thousand modules need more descriptors than the usual 1024.
    omblor::net::RaiseOpenFileLimit();
    std::signal(SIGPIPE, SIG_IGN);
    omblor::net::PollEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);
    const StderrHost host;
    const int code = run(argc - 1, argv + 1);
    omblor::net::EventLoop::SetCurrent(nullptr);
    return code;
}
