#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/CWinApp.h"
#include "framework/Host.h"
#include "framework/PlatformHost.h"
#include "framework/console/ConsoleHost.h"
#include "framework/win32/Win32Host.h"
#include "net/Win32EventLoop.h"

namespace omblor::framework {

namespace {

// The console host when asked for (OMBLOR_UI=console) or when no window can open (wine without
// a display), so scripts can drive the program anywhere.
bool WantConsole() {
    const char* ui = std::getenv("OMBLOR_UI");
    if (ui != nullptr && *ui != '\0') return std::string_view(ui) == "console";
    return !win32::Win32Host::CanOpenWindows();
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
    net::Win32EventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    int code = 0;
    // The host goes before the loop it runs on.
    if (WantConsole()) {
        ConsoleHost host(loop, 0, stdout);
        code = RunWithHost(host, body);
    } else {
        win32::Win32Host host;
        code = RunWithHost(host, body);
    }
    net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace omblor::framework
