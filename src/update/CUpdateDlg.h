// The progress dialog that carries out one update: reads the application file, connects to the
// module, answers its lines, shows its progress and ends after 30 silent seconds. IDOK only when
// the module reported completion; IDCANCEL for every error, time-out or cancel. Once the update
// has begun to end, later ticks and lines change nothing and show nothing.
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
    void SendBytes(const void* data, std::size_t length);

    std::string fileName_;
    std::uint32_t address_ = 0;
    int reboot_ = 1;
    int completed_ = 0;
    // Declared before the socket so that it outlives it: the socket's queue may still borrow the
    // image's bytes while it closes.
    std::optional<image::AppImage> image_;
    std::unique_ptr<TarvikUpdateSocket> socket_;
    std::string platformName_;
    int silence_ = 0;
    std::uintptr_t timerId_ = 0;
    framework::CButton cancelButton_;
    framework::CProgressCtrl progress_;
    // Set as soon as the end is requested (error, cancel, completion).
    bool ending_ = false;
    CPassDlg* openPrompt_ = nullptr;
};

}  // namespace omblor::update
