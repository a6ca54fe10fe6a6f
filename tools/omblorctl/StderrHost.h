// The framework host of omblorctl. The tool opens no windows, but the discovery socket tells a
// failed bind through a message box: here a message box is its text on stderr, and a dialog
// that tries to open ends at once as cancelled.
#pragma once

#include "framework/Host.h"

namespace omblor::ctl {

class StderrHost final : public framework::Host {
  public:
    // Installs itself as the process's host for its lifetime.
    StderrHost();
    ~StderrHost() override;

    std::unique_ptr<framework::HostWindow> CreateHostWindow(framework::CDialog& dialog) override;
    int MessageBox(std::string_view text, std::string_view caption, unsigned type) override;
    std::optional<std::string> ChooseFile(const framework::FileChooserRequest& request) override;
};

}  // namespace omblor::ctl
