// The main window: the module's address in four boxes, the application file, the reboot choice,
// and the buttons that start the other parts (Find..., Browse..., Update). Applies the stored
// address and the command-line switches when it is built; in auto mode it runs the update before
// it is first shown.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/CDialog.h"
#include "framework/Controls.h"

namespace omblor::app {

class COmblorDlg final : public framework::CDialog {
  public:
    explicit COmblorDlg(std::string_view commandLine, CDialog* parent = nullptr);

    // The four address bytes as one host-order value (first dotted number on top), and back.
    [[nodiscard]] std::uint32_t Address() const;
    void SetAddress(std::uint32_t address);

    framework::CEdit fileNameEdit;
    std::array<std::uint8_t, 4> addressBytes{0, 0, 0, 0};
    std::string fileName;
    int rebootWhenComplete = 1;
    int autoMode = 0;
    int icon = 0;

    void OnFind();
    void OnBrowse();
    void OnUpdate();
    void OnSysCommand(unsigned id, std::intptr_t lParam);

    [[nodiscard]] bool AcceptsDroppedFiles() const override { return true; }

  protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    // A dropped file counts as one confirmed in the chooser.
    void OnDropFile(std::string_view path) override;
    [[nodiscard]] framework::MessageMap GetMessageMap() const override;

  private:
    void UseChosenFile(const std::string& path);
};

}  // namespace omblor::app
