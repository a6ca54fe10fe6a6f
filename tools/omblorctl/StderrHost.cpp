#include "StderrHost.h"

#include <cstdio>

#include "framework/CDialog.h"
#include "framework/WinTypes.h"

namespace omblor::ctl {

namespace {

class RefusedWindow final : public framework::HostWindow {
  public:
    explicit RefusedWindow(framework::CDialog& dialog) : dialog_(dialog) {}
    void Shown() override { dialog_.EndDialog(framework::IDCANCEL); }
    void ControlChanged(int /*id*/) override {}
    void FocusChanged(int /*id*/) override {}
    void SelectAllText(int /*id*/) override {}
    void Ended(int /*result*/) override {}

  private:
    framework::CDialog& dialog_;
};

}  // namespace

StderrHost::StderrHost() {
    framework::SetCurrentHost(this);
}

StderrHost::~StderrHost() {
    framework::SetCurrentHost(nullptr);
}

std::unique_ptr<framework::HostWindow> StderrHost::CreateHostWindow(framework::CDialog& dialog) {
    return std::make_unique<RefusedWindow>(dialog);
}

int StderrHost::MessageBox(std::string_view text, std::string_view /*caption*/, unsigned /*type*/) {
    std::fprintf(stderr, "omblorctl: %.*s\n", static_cast<int>(text.size()), text.data());
    return framework::IDOK;
}

std::optional<std::string> StderrHost::ChooseFile(
    const framework::FileChooserRequest& /*request*/) {
    return std::nullopt;
}

}  // namespace omblor::ctl
