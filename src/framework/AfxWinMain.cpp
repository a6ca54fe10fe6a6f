#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "framework/CWinApp.h"
#include "framework/console/ConsoleHost.h"
#include "net/PollEventLoop.h"
#ifdef OMBLOR_HAVE_QT
#include "framework/qt/QtHost.h"
#endif

namespace omblor::framework {

namespace {

int RunApp(CWinApp& app) {
    // The program's InitInstance runs its main window itself and returns false; a true result
    // would ask for a message loop of the framework's own, which this program never needs.
    app.InitInstance();
    return app.ExitInstance();
}

bool WantQt() {
    const char* ui = std::getenv("OMBLOR_UI");
    if (ui != nullptr && *ui != '\0') return std::string_view(ui) == "qt";
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 0;
    app->m_pszAppName = AppNameFromPath(argc > 0 ? argv[0] : "");
    app->m_lpCmdLine = CommandLineTail(argc, argv);

#ifdef OMBLOR_HAVE_QT
    if (WantQt()) return RunWithQtHost(argc, argv, [app] { return RunApp(*app); });
#else
    (void)WantQt;
#endif
    net::PollEventLoop loop;
    net::EventLoop::SetCurrent(&loop);
    int code = 0;
    {
        // The host goes before the loop it runs on.
        ConsoleHost host(loop, STDIN_FILENO, stdout);
        SetCurrentHost(&host);
        code = RunApp(*app);
        SetCurrentHost(nullptr);
    }
    net::EventLoop::SetCurrent(nullptr);
    return code;
}

}  // namespace omblor::framework
