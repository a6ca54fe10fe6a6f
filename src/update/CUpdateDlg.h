// The progress dialog that carries out one update: reads the application file, runs one update
// session with the module, shows its progress and where it stands, and tells its outcome in
// message boxes. IDOK only when the module reported completion; IDCANCEL for every error,
// time-out or cancel. The exchange's rules live in the session; this is its window, which words
// the session's events.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/CDialog.h"
#include "framework/Controls.h"
#include "image/AppImage.h"
#include "update/UpdateProtocol.h"
#include "update/UpdateSession.h"

namespace omblor::update {

class CPassDlg;

class CUpdateDlg final : public framework::CDialog, private UpdateSessionOwner {
  public:
    CUpdateDlg(std::string_view fileName, std::uint32_t address, int rebootWhenComplete,
               CDialog* parent);
    ~CUpdateDlg() override;

    void OnTimer(std::uintptr_t id);

    [[nodiscard]] bool WaitsForOperator() const override { return false; }

    // The module port and the tick of the silence count; tests point them elsewhere.
    std::uint16_t port = kUpdatePort;
    unsigned tickMs = 1000;

  protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnCancel() override;
    [[nodiscard]] framework::MessageMap GetMessageMap() const override;

  private:
    void OnPlatformNamed(std::string_view name) override;
    std::optional<Credentials> OnCredentialsNeeded() override;
    void OnHeaderAnswered(HeaderAnswer answer) override;
    void OnImageSent(std::uint64_t sent, std::uint64_t total) override;
    void OnProgress(int position) override;
    void OnRebootAnswered(RebootChoice choice) override;
    void OnTrouble(Failure failure, int error) override;
    void OnEnded(const SessionEnd& end) override;

    std::string fileName_;
    std::uint32_t address_ = 0;
    int reboot_ = 1;
    // Declared before the session so that it outlives it: the connection may still borrow the
    // image's bytes while it closes.
    std::optional<image::AppImage> image_;
    std::unique_ptr<UpdateSession> session_;
    std::uintptr_t timerId_ = 0;
    framework::CButton cancelButton_;
    framework::CProgressCtrl progress_;
    framework::CWndControl status_;
    CPassDlg* openPrompt_ = nullptr;
};

}  // namespace omblor::update
