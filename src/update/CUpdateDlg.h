// The progress dialog that carries out one update: reads the application file, connects to the
// module, answers its lines, shows its progress and ends after 30 silent seconds. IDOK only when
// the module reported completion; IDCANCEL for every error, time-out or cancel. Once the update
// has begun to end, later ticks and lines change nothing and show nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/CDialog.h"
#include "framework/Controls.h"
#include "image/AppImage.h"
#include "net/EventLoop.h"
#include "update/UpdateSocketOwner.h"

namespace omblor::update {

class CPassDlg;
class TarvikUpdateSocket;

class CUpdateDlg final : public framework::CDialog, public UpdateSocketOwner {
public:
    CUpdateDlg(std::string_view fileName, std::uint32_t address, int rebootWhenComplete,
               CDialog* parent);
    ~CUpdateDlg() override;

    void OnModuleLine(std::int32_t code, char* line) override;
    void EndWithError(std::string_view text) override;
    void EndWithErrorDetails(std::string_view text, std::string_view details) override;
    void OnTimer(std::uintptr_t id);

    [[nodiscard]] bool WaitsForOperator() const override { return false; }

    // The module port; tests point it elsewhere.
    std::uint16_t port = 20034;

protected:
    void DoDataExchange(framework::CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnCancel() override;
    [[nodiscard]] framework::MessageMap GetMessageMap() const override;

private:
    void SendBytes(const void* data, std::size_t length);
    void ShowSent();

    std::string fileName_;
    std::uint32_t address_ = 0;
    int reboot_ = 1;
    int completed_ = 0;
    std::unique_ptr<TarvikUpdateSocket> socket_;
    std::optional<image::AppImage> image_;
    std::string platformName_;
    std::string password_;
    int silence_ = 0;
    std::uintptr_t timerId_ = 0;
    framework::CButton cancelButton_;
    framework::CProgressCtrl progress_;
    framework::CWndControl status_;
    // For the time-out's details: the last line and when it came (or when the update began).
    std::string lastLine_;
    std::chrono::steady_clock::time_point lastHeard_;
    // Refreshes the status line while the image is still leaving.
    net::ScopedTimer sendWatch_;
    // Set as soon as the end is requested (error, cancel, completion).
    bool ending_ = false;
    CPassDlg* openPrompt_ = nullptr;
};

}  // namespace omblor::update
