#include "update/CUpdateDlg.h"

#include <string>

#include "framework/CDataExchange.h"
#include "framework/MessageBox.h"
#include "image/AppImageReader.h"
#include "resources/Messages.h"
#include "resources/ResourceIds.h"
#include "update/CPassDlg.h"

namespace omblor::update {

using framework::AfxMessageBox;
using framework::IDCANCEL;
using framework::IDOK;

namespace {
// The reader's messages go to the operator as message boxes, one each.
class MessageBoxSink final : public image::MessageSink {
public:
    void Show(std::string_view text) override { AfxMessageBox(text); }
};
}  // namespace

CUpdateDlg::CUpdateDlg(std::string_view fileName, std::uint32_t address, int rebootWhenComplete,
                       CDialog* parent)
    : CDialog(resources::IDD_UPDATE, parent),
      fileName_(fileName),
      address_(address),
      reboot_(rebootWhenComplete) {}

CUpdateDlg::~CUpdateDlg() = default;

framework::MessageMap CUpdateDlg::GetMessageMap() const {
    static constexpr auto kTimer = &CUpdateDlg::OnTimer;
    static const framework::MessageMapEntry kMap[] = {
        framework::OnTimerEntry<CUpdateDlg>(&kTimer),
    };
    return kMap;
}

void CUpdateDlg::DoDataExchange(framework::CDataExchange* pDX) {
    framework::DDX_Control(pDX, IDCANCEL, cancelButton_);
    framework::DDX_Control(pDX, resources::IDC_PROGRESS, progress_);
}

bool CUpdateDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    timerId_ = SetTimer(1, tickMs);
    progress_.SetRange(0, 100);
    progress_.SetPos(0);
    MessageBoxSink sink;
    image_ = image::LoadAppImage(fileName_, sink);
    if (!image_) {
        OnCancel();
        return true;
    }
    session_ = std::make_unique<UpdateSession>(static_cast<UpdateSessionOwner&>(*this), *image_, address_, port,
                                               reboot_ != 0);
    session_->Start();
    return true;
}

void CUpdateDlg::OnTimer(std::uintptr_t /*id*/) {
    if (session_) session_->Tick();
}

void CUpdateDlg::OnCancel() {
    if (session_ && !session_->Ending()) {
        session_->Cancel();
        return;
    }
    KillTimer(timerId_);
    EndDialog(IDCANCEL);
}

void CUpdateDlg::OnProgress(int position) { progress_.SetPos(position); }

std::optional<Credentials> CUpdateDlg::OnCredentialsNeeded() {
    CPassDlg prompt;
    openPrompt_ = &prompt;
    const int result = prompt.DoModal();
    openPrompt_ = nullptr;
    if (result != IDOK) return std::nullopt;
    return Credentials(prompt.userName, prompt.password);
}

void CUpdateDlg::OnNotice(std::string_view text) { AfxMessageBox(text); }

void CUpdateDlg::OnEnded(Outcome outcome, std::string_view text) {
    // A credentials prompt still open belongs to an update that is over.
    if (openPrompt_ != nullptr) openPrompt_->EndDialog(IDCANCEL);
    switch (outcome) {
        case Outcome::Completed:
            CDialog::OnOK();
            return;
        case Outcome::Failed:
            AfxMessageBox(std::string(messages::kErrorPrefix).append(text));
            KillTimer(timerId_);
            CDialog::OnCancel();
            return;
        case Outcome::Cancelled:
            KillTimer(timerId_);
            EndDialog(IDCANCEL);
            return;
    }
}

}  // namespace omblor::update
