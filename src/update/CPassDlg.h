// The credentials prompt a module may ask for: a user name and a hidden password, empty every
// time it opens. The texts are wiped from memory when the dialog goes; nothing is stored.
#pragma once

#include <string>

#include "framework/CDialog.h"

namespace omblor::update {

class CPassDlg final : public framework::CDialog {
  public:
    explicit CPassDlg(CDialog* parent = nullptr);
    ~CPassDlg() override;

    std::string userName;
    std::string password;

  protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
};

}  // namespace omblor::update
