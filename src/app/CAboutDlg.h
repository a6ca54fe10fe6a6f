// The About box: the icon, the product name and version, an OK button. No behaviour of its own.
#pragma once

#include "framework/CDialog.h"

namespace omblor::app {

class CAboutDlg final : public framework::CDialog {
  public:
    CAboutDlg();
};

}  // namespace omblor::app
