#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/CWinApp.h"
#include "framework/Host.h"
#include "framework/PlatformHost.h"
#include "framework/console/ConsoleHost.h"
#include "net/Win32EventLoop.h"

namespace omblor::framework {

namespace {

// The console host when asked for (OMBLOR_UI=console).
bool WantConsole() {
    const char* ui = std::getenv("OMBLOR_UI");
    return ui != nullptr && std::string_view(ui) == "console";
}

}  // namespace

// The text after the program's name exactly as Windows passes it, quotes and all: the switches
// are read from that text, not from the C runtime's split of it.
std::string PlatformCommandLineTail(int /*argc*/, char** /*argv*/) {
    std::string_view line = ::GetCommandLineA();
    std::size_t i = 0;
    if (!line.empty() && line.front() == '"') {
        const auto close = line.find('"', 1);
        i = close == std::string_view::npos ? line.size() : close + 1;
    } else {
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    }
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    return std::string(line.substr(i));
}

int RunWithPlatformHost(int /*argc*/, char** /*argv*/, const std::function<int()>& body) {
    (void)WantConsole;
    net::Win32EventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    int code = 0;
    {
        // The host goes before the loop it runs on.
        ConsoleHost host(loop, 0, stdout);
        SetCurrentHost(&host);
        code = body();
        SetCurrentHost(nullptr);
    }
    net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace omblor::framework
