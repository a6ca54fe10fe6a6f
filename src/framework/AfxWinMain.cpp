#include "framework/CWinApp.h"
#include "framework/PlatformHost.h"

namespace omblor::framework {

namespace {

int RunApp(CWinApp& app) {
    // The program's InitInstance runs its main window itself and returns false; a true result
    // would ask for a message loop of the framework's own, which this program never needs.
    app.InitInstance();
    return app.ExitInstance();
}

}  // namespace

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr) return 0;
    app->m_pszAppName = AppNameFromPath(argc > 0 ? argv[0] : "");
    app->m_lpCmdLine = PlatformCommandLineTail(argc, argv);
    return RunWithPlatformHost(argc, argv, [app] { return RunApp(*app); });
}

}  // namespace omblor::framework
