#include "framework/MessageBox.h"

#include "framework/CWinApp.h"
#include "framework/Host.h"

namespace omblor::framework {

int AfxMessageBox(std::string_view text, unsigned type) {
    return CurrentHost().MessageBox(text, AfxGetAppName(), type);
}

}  // namespace omblor::framework
