#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/CWinApp.h"
#include "framework/Host.h"
#include "framework/PlatformHost.h"
#include "framework/console/ConsoleHost.h"
#include "net/PollEventLoop.h"
#ifdef OMBLOR_HAVE_QT
#include "framework/qt/QtHost.h"
#endif

namespace omblor::framework {

namespace {

bool WantQt() {
    const char* ui = std::getenv("OMBLOR_UI");
    if (ui != nullptr && *ui != '\0') return std::string_view(ui) == "qt";
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

std::string PlatformCommandLineTail(int argc, char** argv) {
    return CommandLineTail(argc, argv);
}

int RunWithPlatformHost(int argc, char** argv, const std::function<int()>& body) {
#ifdef OMBLOR_HAVE_QT
    if (WantQt()) return RunWithQtHost(argc, argv, body);
#else
    (void)argc;
    (void)argv;
    (void)WantQt;
#endif
    net::PollEventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    int code = 0;
    {
        // The host goes before the loop it runs on.
        ConsoleHost host(loop, STDIN_FILENO, stdout);
        code = RunWithHost(host, body);
    }
    net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace omblor::framework
