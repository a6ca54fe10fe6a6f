#include "app/CAboutDlg.h"

#include "resources/ResourceIds.h"

namespace omblor::app {

CAboutDlg::CAboutDlg() : CDialog(resources::IDD_ABOUTBOX) {}

}  // namespace omblor::app
