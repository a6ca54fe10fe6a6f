#include "framework/MessageBox.h"

#include "framework/CWinApp.h"
#include "framework/Host.h"

namespace omblor::framework {

int AfxMessageBox(std::string_view text, unsigned type) {
    return CurrentHost().MessageBox(text, AfxGetAppName(), type);
}

int AfxMessageBoxWithDetails(std::string_view text, std::string_view details, unsigned type) {
    if (details.empty()) return AfxMessageBox(text, type);
    return CurrentHost().MessageBoxWithDetails(text, AfxGetAppName(), type, details);
}

}  // namespace omblor::framework
