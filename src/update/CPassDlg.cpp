#include "update/CPassDlg.h"

#include "framework/CDataExchange.h"
#include "resources/ResourceIds.h"

namespace omblor::update {

CPassDlg::CPassDlg(CDialog* parent) : CDialog(resources::IDD_PASSWORD, parent) {}

CPassDlg::~CPassDlg() {
    framework::SecureWipe(userName);
    framework::SecureWipe(password);
}

void CPassDlg::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Text(pDX, resources::IDC_USERNAME, userName);
    framework::DDX_Text(pDX, resources::IDC_PASSWORD, password);
}

}  // namespace omblor::update
