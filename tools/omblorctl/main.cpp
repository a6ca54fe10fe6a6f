// omblorctl: finds and programs modules from scripts and production lines, many at once, on the
// same exchange and discovery code as the window.
#include <csignal>
#include <cstdio>
#include <string_view>

#include "Commands.h"
#include "Options.h"
#include "net/DefaultEventLoop.h"
#include "net/SocketService.h"
#include "platform/OpenFileLimit.h"
#include "resources/ResourceIds.h"
#include "resources/Strings.h"

int main(int argc, char** argv) {
    using namespace omblor::ctl;
    const std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h") {
        std::fputs(TopHelp().c_str(), stdout);
        return kExitOk;
    }
    if (command == "--version") {
        const std::string_view version = omblor::resources::VersionText();
        std::printf("omblorctl %.*s\n", static_cast<int>(version.size()), version.data());
        return kExitOk;
    }
    // Not in --help: the build runs it to make the completion script it installs.
    if (command == "--bash-completion") {
        std::fputs(BashCompletion().c_str(), stdout);
        return kExitOk;
    }
    // Reading a file needs no loop.
    if (command == "image") return RunImage(argc - 1, argv + 1);
    int (*run)(int, char**) = nullptr;
    if (command == "find") run = RunFind;
    if (command == "update") run = RunUpdate;
    if (run == nullptr) {
        std::fputs(TopUsage().c_str(), stderr);
        return kExitUsage;
    }
    // A connection per module: a thousand modules need more descriptors than the usual 1024.
    omblor::platform::RaiseOpenFileLimit();
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (!omblor::net::StartSocketService()) {
        const std::string_view text =
            omblor::resources::LoadStringResource(omblor::resources::IDS_SOCKETS_INIT_FAILED);
        std::fprintf(stderr, "omblorctl: %.*s\n", static_cast<int>(text.size()), text.data());
        return kExitFailed;
    }
    omblor::net::DefaultEventLoop loop;
    omblor::net::EventLoop::SetCurrent(&loop);
    const int code = run(argc - 1, argv + 1);
    omblor::net::EventLoop::SetCurrent(nullptr);
    omblor::net::StopSocketService();
    return code;
}
