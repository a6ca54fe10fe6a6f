#include "app/COmblorApp.h"

#include "app/COmblorDlg.h"
#include "framework/MessageBox.h"
#include "framework/WinTypes.h"
#include "net/SocketService.h"
#include "resources/ResourceIds.h"
#include "resources/Strings.h"

namespace omblor::app {

bool COmblorApp::InitInstance() {
    if (!startSocketService(1, 1)) {
        framework::AfxMessageBox(resources::LoadStringResource(resources::IDS_SOCKETS_INIT_FAILED));
        return false;
    }
    {
        COmblorDlg dialog(m_lpCmdLine);
        m_pMainWnd = &dialog;
        const int result = dialog.DoModal();
        if (result == framework::IDOK) exitCode = 0;
        if (result == framework::IDCANCEL) exitCode = -1;
        m_pMainWnd = nullptr;
    }
    return false;
}

int COmblorApp::ExitInstance() {
    CWinApp::ExitInstance();
    return exitCode;
}

}  // namespace omblor::app
